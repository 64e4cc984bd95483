#include "ModalViewers.h"

#include "ClientContext.h"
#include "ShadowHost.h"
#include "SmallDialogs.h"

template <class TDialog> void CModalViewers::RunDimmed(TDialog& dialog)
{
    const CShadowScope shadow(&m_shadow);
    dialog.DoModal();
}

void CModalViewers::ShowImage(const std::string& strPath)
{
    CImageViewDlg viewer(strPath, &m_frame);
    RunDimmed(viewer);
}

void CModalViewers::ShowHowToUse()
{
    ShowImage(CClientContext::GetUiPath("ui/images/image_how_to_use.png"));
}

void CModalViewers::ShowAboutBox()
{
    CAboutDlg about(&m_frame);
    RunDimmed(about);
}
