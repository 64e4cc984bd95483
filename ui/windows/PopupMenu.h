#pragma once

#include "HTMLayoutDlg.h"

#include <string>
#include <vector>

// One entry of a pop-up menu: its element id and label, and the message with
// its parameter that the owner gets when the entry is chosen.
struct CPopupMenuItem
{
    std::string m_strId;
    std::string m_strLabel;
    unsigned m_nMessage = 0;
    unsigned m_nParam = 0;
};

// A pop-up menu under an element, working as a native menu does: modal while
// open, so the keyboard is its own. Up and Down (round the ends), Home and End
// move between the entries; Enter, Space or a click chooses; Escape, Tab or a
// click beside it closes it. The page marks it as a menu of menu items for
// screen readers.
class CPopupMenuDlg : public CHTMLayoutDlg
{
public:
    // The anchor is the element's rectangle in the main window; the menu opens
    // below its left edge and stays inside the window.
    CPopupMenuDlg(std::vector<CPopupMenuItem> items, const CRect& anchor, CWnd* pParent);

    // Runs the menu: the chosen entry, or null when it was closed.
    const CPopupMenuItem* Track();
    // The entry that has the keyboard, -1 when none.
    int GetFocusedItem() const;

    static constexpr int kItemHeight = 34;
    static constexpr int kWidth = 220;

protected:
    bool OnInitDialog() override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;
    bool on_mouse(CElement he, CElement target, unsigned nEvent, int nX, int nY, unsigned nButtons,
                  unsigned nKeys) override;
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    void FocusItem(int nIndex);

    std::vector<CPopupMenuItem> m_items;
    std::vector<CElement> m_elements;
    CRect m_anchor;
};
