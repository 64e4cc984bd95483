#include "ModalViewers.h"

#include "ClientContext.h"
#include "ShadowHost.h"
#include "SmallDialogs.h"

void CModalViewers::ShowImage(const std::string& strPath)
{
    m_shadow.SetShadowMode(true);
    CImageViewDlg viewer(strPath, &m_frame);
    viewer.DoModal();
    m_shadow.SetShadowMode(false);
}

void CModalViewers::ShowHowToUse()
{
    ShowImage(CClientContext::GetUiPath("ui/images/image_how_to_use.png"));
}

void CModalViewers::ShowAboutBox()
{
    m_shadow.SetShadowMode(true);
    CAboutDlg about(&m_frame);
    about.DoModal();
    m_shadow.SetShadowMode(false);
}
