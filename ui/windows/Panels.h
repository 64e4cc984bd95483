#pragma once

#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "PopupWin.h"

#include <array>
#include <string>

// A plain area without a page: the side margins and the shadow that covers
// the main window while a modal dialog runs.
class CBlankWnd : public CWnd
{
public:
    bool Create(const char* szClass, const CRect& rect, CWnd* pParent, int nId, bool bVisible);
};

// The top panel's menu: a pop-up menu whose line with the keyboard has the
// browser's focus too (so a screen reader reads it), and which gives the
// keyboard back to its button when Escape or Tab closes it.
class CTopMenuWin : public CPopupMenuWin
{
public:
    using CPopupMenuWin::CPopupMenuWin;
    // The first line takes the keyboard (a menu opened from the keyboard).
    void SelectFirst();
    // The line with the keyboard, -1 when none.
    int GetCurrent() const;

    boost::signals2::signal<void()> m_sigKeyboardClosed;

protected:
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    void FocusCurrent();
};

// The navigation buttons at the top of the main window, and the menu button.
class CTopPanelWin : public CHTMLayoutWin
{
public:
    // The menu reads its page through the panel's loader.
    explicit CTopPanelWin(CAbstractHTMLayoutDataLoader* pLoader)
        : CHTMLayoutWin(pLoader),
          m_menu(pLoader)
    {
    }
    static constexpr std::array<const char*, 8> kButtonIds{
        "btn_home",    "btn_backward", "btn_forward", "btn_bookmarks",
        "btn_history", "btn_update",   "btn_config",  "btn_about"};

    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    CHTMLayoutButtonCtrl& GetButton(std::size_t nIndex) { return m_buttons.at(nIndex); }
    // Back and forward look disabled when there is nowhere to go.
    void SetNavigationState(bool bCanGoBack, bool bCanGoForward);

    // The menu button's entries: the about dialog and the update (the main
    // window's system commands 16 and 48) and the exit.
    static std::vector<CPopupMenuWin::CItem> GetMenuItems();
    // Opens the menu under its button (from the keyboard on its first line);
    // the chosen entry reaches the main window as its command.
    void OpenMenu(bool bFromKeyboard);
    CTopMenuWin& GetMenu() { return m_menu; }

protected:
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    void OnMenuClosed(bool bGiveKeyboardBack);

    std::array<CHTMLayoutButtonCtrl, 8> m_buttons;
    CHTMLayoutButtonCtrl m_menuButton;
    CTopMenuWin m_menu;
};

// The bottom line: date of the last content update and the support link.
class CStatusPanelWin : public CHTMLayoutWin
{
public:
    using CHTMLayoutWin::CHTMLayoutWin;
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void OnUpdateStatus(int nDay, int nMonth, int nYear);

    CHTMLayoutButtonCtrl m_support;
};
