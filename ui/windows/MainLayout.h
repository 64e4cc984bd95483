#pragma once

#include "DomNode.h"

// Where the main window puts its children for a client size, a view kind
// and the top panel's content height. Pure arithmetic, so it can be checked.
struct CMainLayout
{
    CRect m_shadow, m_topPanel, m_searchPanel, m_statusPanel, m_leftMargin, m_rightMargin;
    CRect m_body; // the body window of the kind (kinds other than 0 and 7)
    CRect m_welcome, m_newsCalendar, m_newsHeader, m_newsScrollBar, m_newsPanel, m_formSections;
    int m_nMarker1 = 0;
    int m_nMarker2 = 0;
    bool m_bSearchBottomLine = false;

    // The smallest client area the window lays out: below it the page keeps
    // this layout and scrolls (the body column and the home tiles need it).
    static constexpr int kMinWidth = 1000;
    static constexpr int kMinHeight = 600;

    // nNewsHeaderHeight: the news header's content height (kind 0).
    static CMainLayout Compute(int nWidth, int nHeight, int nKind, int nTopHeight,
                               int nNewsHeaderHeight = 0);
};
