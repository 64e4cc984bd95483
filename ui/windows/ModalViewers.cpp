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
    CImageViewDlg viewer(m_context, strPath, &m_frame);
    return RunDimmed(viewer);
}

int CModalViewers::ShowHowToUse()
{
    return ShowImage(m_context.GetResourceConfig().GetPath("ui/images/image_how_to_use.png"));
}

int CModalViewers::ShowAboutBox()
{
    CAboutDlg about(m_context, &m_frame);
    return RunDimmed(about);
}
