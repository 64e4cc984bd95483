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
    bool m_bNarrow = false; // below the design width

    // The width the layout's numbers were drawn for. A narrower window (a
    // small screen, or a large zoom: 200 % of 1366 pixels is 683) keeps the
    // panels at its width, so that documents wrap instead of running off the
    // edge; the home page then takes the height its topics need.
    static constexpr int kDesignWidth = 1000;
    // The smallest client area the window lays out: below it the page keeps
    // this layout and scrolls.
    static constexpr int kMinWidth = 600;
    static constexpr int kMinHeight = 600;
    // The news under the home topics or the form sections keep at least this
    // height; a shorter window scrolls. Below the design width the month and
    // the news lie under the topics, each as wide as the window.
    static constexpr int kMinNewsHeight = 100;

    // The heights the pages' content takes: the top panel's and the news
    // header's always; the home topics' and the month's below the design
    // width only.
    struct CContent
    {
        int m_nTop = 0;
        int m_nNewsHeader = 0;
        int m_nWelcome = 0;
        int m_nCalendar = 0;
    };
    static CMainLayout Compute(int nWidth, int nHeight, int nKind, const CContent& content);
};
