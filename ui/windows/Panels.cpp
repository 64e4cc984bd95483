#include "Panels.h"

#include "ClientContext.h"
#include "Logger.h"

#include <cstdio>

namespace
{
constexpr int kMenuId = 21; // the top panel's menu, a child of the main window
} // namespace

bool CBlankWnd::Create(const char* szClass, const CRect& rect, CWnd* pParent, int nId,
                       bool bVisible)
{
    if (!CreateBase(WINDOW_CHILD, "", rect, pParent, nId, bVisible, false))
        return false;
    SetFrontEndClass(szClass);
    return true;
}

bool CTopPanelWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId, CClientContext::GetUiPath("ui/top_panel.htm"),
                        root))
        return false;
    for (std::size_t i = 0; i < m_buttons.size(); ++i)
        if (!m_buttons[i].SetElement(root, kButtonIds[i], true))
        {
            KLOG_ERR << "Can't initialize buttons";
            return false;
        }
    // The menu button's clicks are the window's own: it tells the mouse from the keyboard.
    if (!m_menuButton.SetElement(root, "btn_menu", false))
    {
        KLOG_ERR << "Can't initialize buttons";
        return false;
    }
    if (!m_menu.CreateMenu(pParent, kMenuId))
        return false;
    m_menu.m_sigCommand.connect([this](unsigned nCommand) {
        OnMenuClosed(true);
        if (CWnd* pParent = GetParent())
            pParent->PostMessage(nCommand == ID_APP_EXIT ? WM_COMMAND : WM_SYSCOMMAND, nCommand);
    });
    m_menu.m_sigKeyboardClosed.connect([this] { OnMenuClosed(true); });
    m_menu.m_sigHidden.connect([this] { OnMenuClosed(false); });
    // The page's own height decides where the rest of the window begins; the
    // menu opens under its button.
    root.FindById("top_panel").GetLocation();
    m_menuButton.GetElement().GetLocation();
    return true;
}

std::vector<CPopupMenuWin::CItem> CTopPanelWin::GetMenuItems()
{
    return {{SC_APP_ABOUT, "О программе", true},
            {SC_APP_UPDATE, "Обновить", true},
            {ID_APP_EXIT, "Выход", true}};
}

void CTopPanelWin::OpenMenu(bool bFromKeyboard)
{
    CElement button = m_menuButton.GetElement();
    CRect anchor = button.GetLocation();
    const CRect panel = GetWindowRect();
    // Until the browser has measured the button: under the panel's right end.
    if (anchor.m_nHeight == 0)
        anchor = CRect{panel.m_nWidth - CPopupMenuWin::kWidth, 0, 0, GetContentHeight()};
    button.SetAttribute("aria-expanded", "true");
    m_menu.ShowMenu(GetMenuItems(), panel.m_nLeft + anchor.m_nLeft,
                    panel.m_nTop + anchor.m_nTop + anchor.m_nHeight);
    if (bFromKeyboard)
        m_menu.SelectFirst();
}

void CTopPanelWin::OnMenuClosed(bool bGiveKeyboardBack)
{
    CElement button = m_menuButton.GetElement();
    button.SetAttribute("aria-expanded", "false");
    if (!bGiveKeyboardBack)
        return; // a press elsewhere: the keyboard goes where it was pressed
    button.SetState(0, STATE_FOCUS);
    button.SetState(STATE_FOCUS);
}

bool CTopPanelWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    if (CElement::FromNode(event.m_pSource ? event.m_pSource : event.m_pTarget) !=
        m_menuButton.GetElement())
        return false;
    // Enter or Space (reason 1) open the menu on its first line.
    OpenMenu(event.m_nReason == 1);
    return true;
}

bool CTopPanelWin::on_key(CElement, CElement target, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    // Down opens it too, as in a native menu bar.
    if (nEvent == KEY_DOWN && nKeyCode == VK_DOWN && target == m_menuButton.GetElement())
    {
        OpenMenu(true);
        return true;
    }
    return false;
}

void CTopMenuWin::SelectFirst()
{
    // The base class's Down from no line at all is its first line.
    CPopupMenuWin::on_key(CElement(), CElement(), KEY_DOWN, VK_DOWN, 0);
    FocusCurrent();
}

int CTopMenuWin::GetCurrent() const
{
    const std::vector<CElement> lines = GetRootElement().Select(".menu_item");
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].HasState(STATE_CURRENT))
            return static_cast<int>(i);
    return -1;
}

void CTopMenuWin::FocusCurrent()
{
    const int nCurrent = GetCurrent();
    const std::vector<CElement> lines = GetRootElement().Select(".menu_item");
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        CElement line = lines[i];
        line.SetState(0, STATE_FOCUS);
        if (static_cast<int>(i) == nCurrent)
            line.SetState(STATE_FOCUS);
    }
}

bool CTopMenuWin::on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                         unsigned nKeys)
{
    if (nEvent == KEY_DOWN && (nKeyCode == VK_ESCAPE || nKeyCode == VK_TAB))
    {
        Hide();
        m_sigKeyboardClosed();
        return true;
    }
    const bool bHandled = CPopupMenuWin::on_key(he, target, nEvent, nKeyCode, nKeys);
    if (bHandled && nEvent == KEY_DOWN && (nKeyCode == VK_UP || nKeyCode == VK_DOWN))
        FocusCurrent();
    return bHandled;
}

void CTopPanelWin::SetNavigationState(bool bCanGoBack, bool bCanGoForward)
{
    CElement back = m_buttons[1].GetElement();
    CElement forward = m_buttons[2].GetElement();
    back.SetState(bCanGoBack ? 0u : unsigned(STATE_DISABLED),
                  bCanGoBack ? unsigned(STATE_DISABLED) : 0u);
    forward.SetState(bCanGoForward ? 0u : unsigned(STATE_DISABLED),
                     bCanGoForward ? unsigned(STATE_DISABLED) : 0u);
}

bool CStatusPanelWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/status_panel.htm"), root))
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
