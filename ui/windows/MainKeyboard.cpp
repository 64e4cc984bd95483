#include "MainKeyboard.h"

#include "Bookmark.h"
#include "EncyclopediaAccountantWin.h"
#include "SearchPanelWin.h"
#include "Shortcuts.h"

#include <utility>
#include <vector>

bool CMainKeyboard::OnKey(CWnd* pWnd, const CKeyPress& key)
{
    const EShortcut eAction = CShortcuts::Find(key);
    if (eAction == EShortcut::FOCUS_SEARCH)
    {
        m_parts.m_search.FocusSearchBox();
        return true;
    }
    if (eAction == EShortcut::NEXT_REGION || eAction == EShortcut::PREVIOUS_REGION)
    {
        FocusRegion(pWnd, eAction == EShortcut::NEXT_REGION ? 1 : -1);
        return true;
    }
    if (eAction == EShortcut::BACK || eAction == EShortcut::FORWARD)
    {
        m_parts.m_move(eAction == EShortcut::BACK ? -1 : 1);
        return true;
    }
    // The found words are walked in a document only.
    if ((eAction == EShortcut::NEXT_FOUND || eAction == EShortcut::PREVIOUS_FOUND) &&
        m_parts.m_bodyKind() == CBookmark::VIEW_SECTION)
    {
        m_parts.m_reader.MoveToFoundWord(eAction == EShortcut::PREVIOUS_FOUND ? -1 : 1);
        return true;
    }
    return false;
}

void CMainKeyboard::FocusRegion(CWnd* pFrom, int nStep)
{
    // The parts in screen order; the navigator only beside a document.
    std::vector<CWnd*> regions{&m_parts.m_top, &m_parts.m_search};
    const bool bSection = m_parts.m_bodyKind() == CBookmark::VIEW_SECTION;
    if (bSection)
        regions.push_back(&m_parts.m_reader.GetNavigator());
    CWnd* pBody = bSection ? static_cast<CWnd*>(&m_parts.m_reader.GetBrowserContent()) : nullptr;
    regions.push_back(pBody); // the view shown, whichever window shows it
    regions.push_back(&m_parts.m_status);
    // From where the keyboard is: its region, or the view for any other body window.
    const std::size_t nNext = CWnd::NextRegion(regions, pFrom, nStep, regions.size() - 2);
    if (regions[nNext] == &m_parts.m_top)
        m_parts.m_top.FocusPage();
    else if (regions[nNext] == &m_parts.m_search)
        m_parts.m_search.FocusSearchBox();
    else if (regions[nNext] == &m_parts.m_status)
        m_parts.m_status.FocusPage();
    else if (bSection && regions[nNext] == &m_parts.m_reader.GetNavigator())
        m_parts.m_reader.GetNavigator().FocusPage();
    else
        FocusView(m_parts.m_bodyKind());
}

void CMainKeyboard::FocusView(int nKind)
{
    if (nKind == CBookmark::VIEW_SECTION)
    {
        m_parts.m_reader.GetBrowserContent().GetView().FocusDocument();
        return;
    }
    CHTMLayoutWin* pView = m_parts.m_viewOf(nKind);
    if (!pView)
        pView = m_parts.m_viewOf(CBookmark::VIEW_HOME);
    if (pView)
        pView->FocusPage();
}
