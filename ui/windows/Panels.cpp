#include "Panels.h"

#include "ClientContext.h"
#include "Logger.h"

#include <cstdio>

namespace
{
// The common shape of a window's creation: window, page, root.
bool CreatePage(CHTMLayoutWin& win, unsigned nStyle, const CRect& rect, CWnd* pParent, int nId,
                const std::string& strPage, CElement& root)
{
    if (!win.CHTMLayoutWin::Create(nStyle, rect, pParent, nId))
    {
        KLOG_ERR << "Can't create window";
        return false;
    }
    if (!win.LoadHtmlFromFile(strPage))
    {
        KLOG_ERR << "Can't load html layout";
        return false;
    }
    root = win.GetRootElement();
    if (!root.IsValid())
    {
        KLOG_ERR << "Can't get root element";
        return false;
    }
    return true;
}

std::string PagePath(const char* szRelative)
{
    CClientContext* pContext = CClientContext::Get();
    return pContext ? pContext->GetResourceConfig().GetPath(szRelative) : CResourceConfig().GetPath(szRelative);
}
} // namespace

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
    if (!CreatePage(*this, nStyle, rect, pParent, nId, PagePath("ui/top_panel.htm"), root))
        return false;
    for (std::size_t i = 0; i < m_buttons.size(); ++i)
        if (!m_buttons[i].SetElement(root, kButtonIds[i], true))
        {
            KLOG_ERR << "Can't initialize buttons";
            return false;
        }
    if (!m_menuButton.SetElement(root, "btn_menu"))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    m_menuButton.m_sigClick.connect([this] { OpenMenu(); });
    // The page's own height decides where the rest of the window begins; the
    // menu opens under its button.
    root.FindById("top_panel").GetLocation();
    m_menuButton.GetElement().GetLocation();
    return true;
}

const std::vector<CPopupMenuItem>& CTopPanelWin::GetMenuItems()
{
    static const std::vector<CPopupMenuItem> items{
        {"menu_about", "О программе", WM_SYSCOMMAND, SC_APP_ABOUT},
        {"menu_update", "Обновить", WM_SYSCOMMAND, SC_APP_UPDATE},
        {"menu_exit", "Выход", WM_COMMAND, ID_APP_EXIT},
    };
    return items;
}

void CTopPanelWin::OpenMenu()
{
    CElement button = m_menuButton.GetElement();
    CRect anchor = button.GetLocation();
    const CRect panel = GetWindowRect();
    anchor.m_nLeft += panel.m_nLeft;
    anchor.m_nTop += panel.m_nTop;
    if (anchor.m_nHeight == 0) // not measured yet: under the panel's right end
        anchor = CRect{panel.m_nLeft + panel.m_nWidth - CPopupMenuDlg::kWidth, panel.m_nTop, 0, GetContentHeight()};
    button.SetAttribute("aria-expanded", "true");
    CPopupMenuDlg menu(GetMenuItems(), anchor, GetParent());
    const CPopupMenuItem* pChosen = menu.Track();
    button.SetAttribute("aria-expanded", "false");
    // The keyboard comes back to the button, as from a native menu.
    button.SetState(0, STATE_FOCUS);
    button.SetState(STATE_FOCUS);
    if (pChosen && GetParent())
        GetParent()->PostMessage(pChosen->m_nMessage, pChosen->m_nParam);
}

bool CTopPanelWin::on_key(CElement, CElement target, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    // Down on the menu button opens the menu, as Enter and Space do.
    if (nEvent == KEY_DOWN && nKeyCode == VK_DOWN && target == m_menuButton.GetElement())
    {
        OpenMenu();
        return true;
    }
    return false;
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

bool CSearchPanelWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreatePage(*this, nStyle, rect, pParent, nId, PagePath("ui/search_panel.htm"), root))
        return false;
    if (!m_logo.SetElement(root, "btn_logo") || !m_edit.SetElement(root, "search_text") ||
        !m_searchButton.SetElement(root, "btn_search"))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    m_searchButton.m_sigClick.connect([this] { m_sigSearch(GetSearchText()); });
    return true;
}

bool CSearchPanelWin::on_key(CElement, CElement target, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (nEvent == KEY_DOWN && nKeyCode == VK_RETURN && target == m_edit.GetElement())
    {
        m_sigSearch(GetSearchText());
        return true;
    }
    return false;
}

void CSearchPanelWin::SetBottomLineVisible(bool bVisible)
{
    CElement line = GetRootElement().FindById("search_bottom_line");
    line.SetVisible(bVisible);
}

bool CStatusPanelWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreatePage(*this, nStyle, rect, pParent, nId, PagePath("ui/status_panel.htm"), root))
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
