#pragma once

#include "HTMLayoutWin.h"

#include <boost/signals2/signal.hpp>

#include <string>
#include <string_view>
#include <vector>

// A page that floats above the windows (a menu, the section selector). It
// hides itself when the user presses the mouse anywhere else, presses Escape,
// or leaves the client's window (the owner calls Hide then).
class CPopupWin : public CHTMLayoutWin
{
public:
    // The loader reads the page's style sheet, which tells the engine which
    // lines are links: a pop-up is given its owner's.
    using CHTMLayoutWin::CHTMLayoutWin;
    ~CPopupWin() override;

    // Failures are logged under strLogName ("can't create window", "Can't
    // load html layout").
    bool CreatePopup(const std::string& strPage, CWnd* pOwner, int nId,
                     std::string_view strLogName = "CPopupWin::CreatePopup");
    // Shows it at the rectangle (main window coordinates), moved so that it
    // stays inside the main window. With bTakeFocus the keyboard goes to it
    // (a menu); without, it stays where it was (the search box's prompts).
    void ShowAt(const CRect& rect, bool bTakeFocus = true);
    // Presses in this window do not close the pop-up (the box it belongs to).
    void SetCompanion(CWnd* pWnd) { m_pCompanion = pWnd; }
    void Hide();
    bool IsShown() const { return HasVisibleStyle(); }
    // Where a pop-up that wants a rectangle goes in an area: moved left to
    // fit; below its anchor it is cut to the room left (it scrolls) when that
    // room is large enough, else it moves up.
    static CRect FitInside(const CRect& wanted, const CRect& area);

    boost::signals2::signal<void()> m_sigShown;
    boost::signals2::signal<void()> m_sigHidden;

protected:
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
    // The height follows the page's content, as far as the window allows
    // (the page scrolls beyond that).
    void OnContentSizeChanged() override;

private:
    void WatchMouse(bool bWatch);

    int m_nMouseHook = 0;
    CWnd* m_pCompanion = nullptr;
};

// A context menu: one line per command, disabled lines greyed. The command
// id of the line chosen (by mouse, or Up/Down and Enter) is signalled and the
// menu hides.
class CPopupMenuWin : public CPopupWin
{
public:
    struct CItem
    {
        unsigned m_nCommand = 0;
        std::string m_strText;
        bool m_bEnabled = true;
    };

    using CPopupWin::CPopupWin;
    bool CreateMenu(CWnd* pOwner, int nId);
    // Fills the menu and shows it with its top left corner at the point.
    void ShowMenu(const std::vector<CItem>& items, int nX, int nY);
    const std::vector<CItem>& GetItems() const { return m_items; }
    // Runs a command of the menu shown (the click on its line).
    void Choose(unsigned nCommand);

    boost::signals2::signal<void(unsigned)> m_sigCommand;

    static constexpr int kItemHeight = 30;
    static constexpr int kWidth = 260;

protected:
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    void MoveCurrent(int nStep);

    std::vector<CItem> m_items;
    int m_nCurrent = -1;
};
