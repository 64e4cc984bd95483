#include "Panels.h"

#include "ClientContext.h"
#include "Logger.h"

#include <cstdio>


bool CBlankWnd::Create(const char* szClass, const CRect& rect, CWnd* pParent, int nId, bool bVisible)
{
    if (!CreateBase(WINDOW_CHILD, "", rect, pParent, nId, bVisible, false))
        return false;
    SetFrontEndClass(szClass);
    return true;
}

bool CTopPanelWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId, CClientContext::GetUiPath("ui/top_panel.htm"), root))
        return false;
    for (std::size_t i = 0; i < m_buttons.size(); ++i)
        if (!m_buttons[i].SetElement(root, kButtonIds[i], true))
        {
            KLOG_ERR << "Can't initialize buttons";
            return false;
        }
    // The page's own height decides where the rest of the window begins.
    root.FindById("top_panel").GetLocation();
    return true;
}

int CTopPanelWin::GetContentHeight() const
{
    const CHtmlDocument* pDocument = GetHtmlDocument();
    return pDocument ? pDocument->GetContentSize().m_nHeight : 0;
}

void CTopPanelWin::SetNavigationState(bool bCanGoBack, bool bCanGoForward)
{
    CElement back = m_buttons[1].GetElement();
    CElement forward = m_buttons[2].GetElement();
    back.SetState(bCanGoBack ? 0u : unsigned(STATE_DISABLED), bCanGoBack ? unsigned(STATE_DISABLED) : 0u);
    forward.SetState(bCanGoForward ? 0u : unsigned(STATE_DISABLED), bCanGoForward ? unsigned(STATE_DISABLED) : 0u);
}

bool CStatusPanelWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId, CClientContext::GetUiPath("ui/status_panel.htm"), root))
        return false;
    if (!m_support.SetElement(root, "link_support"))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    return true;
}

void CStatusPanelWin::OnUpdateStatus(int nDay, int nMonth, int nYear)
{
    CElement date = GetRootElement().FindById("update_date");
    if (nYear <= 0)
        return; // the page's own text says there was none
    char szDate[32];
    std::snprintf(szDate, sizeof(szDate), "%02d.%02d.%d", nDay, nMonth, nYear);
    date.SetText(szDate);
}
