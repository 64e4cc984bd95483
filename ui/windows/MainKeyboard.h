#pragma once

#include <functional>

class CEncyclopediaAccountantWin;
class CHTMLayoutWin;
class CSearchPanelWin;
class CWnd;
struct CKeyPress;

// The main window's keyboard: the shortcuts it answers wherever the keyboard
// is (the search box, Back and Forward, the found words of a document), the
// walk over its regions with F6 and Shift+F6, and the keyboard put into the
// view shown.
class CMainKeyboard
{
public:
    // What the keyboard reaches in the window.
    struct CParts
    {
        CHTMLayoutWin& m_top;
        CSearchPanelWin& m_search;
        CEncyclopediaAccountantWin& m_reader;
        CHTMLayoutWin& m_status;
        std::function<int()> m_bodyKind;             // the kind of view shown
        std::function<CHTMLayoutWin*(int)> m_viewOf; // the window of a kind of view
        std::function<void(int)> m_move;             // Back (-1) or Forward (1)
    };
    explicit CMainKeyboard(CParts parts) : m_parts(std::move(parts)) {}

    // True when the key was one of the window's own shortcuts.
    bool OnKey(CWnd* pWnd, const CKeyPress& key);
    // The keyboard into the view of that kind (the home page for any other).
    void FocusView(int nKind);
    // The keyboard to the next or the previous part of the window (top
    // panel, search, navigator, the view, status bar).
    void FocusRegion(CWnd* pFrom, int nStep);

private:
    CParts m_parts;
};
