#include "ModalViewers.h"

#include "ClientContext.h"
#include "ShadowHost.h"
#include "SmallDialogs.h"

template <class TDialog> int CModalViewers::RunDimmed(TDialog& dialog)
{
    const CShadowScope shadow(&m_shadow);
    return dialog.DoModal();
}

int CModalViewers::ShowImage(const std::string& strPath)
{
    CImageViewDlg viewer(strPath, &m_frame);
    return RunDimmed(viewer);
}

int CModalViewers::ShowHowToUse()
{
    return ShowImage(CClientContext::GetUiPath("ui/images/image_how_to_use.png"));
}

int CModalViewers::ShowAboutBox()
{
    CAboutDlg about(&m_frame);
    return RunDimmed(about);
}
