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
    CImageViewDlg viewer(m_context, strPath, &m_frame);
    RunDimmed(viewer);
}

void CModalViewers::ShowHowToUse()
{
    ShowImage(m_context.GetResourceConfig().GetPath("ui/images/image_how_to_use.png"));
}

void CModalViewers::ShowAboutBox()
{
    CAboutDlg about(m_context, &m_frame);
    RunDimmed(about);
}
