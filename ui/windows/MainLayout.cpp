#include "MainLayout.h"

#include <algorithm>

namespace
{
constexpr int kSearchHeight = 135;
constexpr int kStatusHeight = 20;
constexpr int kWelcomeHeight = 230;
constexpr int kFormSectionsHeight = 430;
constexpr int kNewsScrollBarHeight = 10;
constexpr int kNarrowCalendarHeight = 330;
} // namespace

CMainLayout CMainLayout::Compute(int nWidth, int nHeight, int nKind, const CContent& content)
{
    CMainLayout layout;
    const int W = nWidth;
    const bool bNarrow = W < kDesignWidth;
    layout.m_bNarrow = bNarrow;
    const int nWelcome = bNarrow ? std::max(kWelcomeHeight, content.m_nWelcome) : kWelcomeHeight;
    const int nCalendar = bNarrow ? std::max(kNarrowCalendarHeight, content.m_nCalendar) : 0;
    const int nNewsHeader = std::max(0, content.m_nNewsHeader);
    int y = content.m_nTop;
    layout.m_topPanel = {0, 0, W, content.m_nTop};
    layout.m_searchPanel = {0, y, W, kSearchHeight};
    y += kSearchHeight;
    layout.m_bSearchBottomLine = nKind != 0;
    // What lies above the news, and the news's least height: a window too
    // short for both scrolls rather than squeezing the news away.
    int nNeeded = 0;
    if (nKind == 0)
        nNeeded = y + nWelcome + nCalendar + nNewsHeader + kNewsScrollBarHeight + kMinNewsHeight;
    else if (nKind == 7)
        nNeeded = y + kFormSectionsHeight + kNewsScrollBarHeight + kMinNewsHeight;
    const int nBottom = std::max(nHeight - kStatusHeight, nNeeded);
    layout.m_shadow = {0, 0, W, nBottom + kStatusHeight};
    layout.m_statusPanel = {0, nBottom, W, kStatusHeight};
    int m = 0;
    if (nKind != 0)
    {
        m = std::max(0, (W - kDesignWidth) / 2);
        if (nKind == 7)
            m = std::max(0, m - 55);
    }
    layout.m_leftMargin = {0, y, m, nBottom - y};
    layout.m_rightMargin = {W - m, y, m, nBottom - y};
    const int nBodyWidth = W - 2 * m;
    switch (nKind)
    {
    case 0:
    {
        layout.m_welcome = {0, y, W, nWelcome};
        y += nWelcome;
        // The month beside the news: 210 pixels at the design width, moving
        // right with half of the extra width, up to 500 pixels more; under
        // the topics and as wide as the window below it.
        int c = std::max(0, W - std::max(W - kDesignWidth, kDesignWidth)) / 2 + 210;
        if (bNarrow)
        {
            layout.m_newsCalendar = {0, y, W, nCalendar};
            y += nCalendar;
            c = 0;
        }
        else
            layout.m_newsCalendar = {0, y, c, nBottom - y};
        const int nHeader = std::clamp(nNewsHeader, 0, std::max(0, nBottom - y));
        layout.m_newsHeader = {c, y, W - c, nHeader};
        y += nHeader;
        layout.m_newsScrollBar = {c, y, W - c, kNewsScrollBarHeight};
        layout.m_nMarker1 = 55;
        layout.m_nMarker2 = 55 + (W > kDesignWidth ? (W - kDesignWidth) / 2 : 0);
        y += kNewsScrollBarHeight;
        layout.m_newsPanel = {c, y, W - c, nBottom - y};
        break;
    }
    case 7:
        layout.m_formSections = {m, y, nBodyWidth, kFormSectionsHeight};
        y += kFormSectionsHeight;
        layout.m_newsScrollBar = {m, y, nBodyWidth, kNewsScrollBarHeight};
        layout.m_nMarker1 = layout.m_nMarker2 = 55;
        y += kNewsScrollBarHeight;
        layout.m_newsPanel = {m, y, nBodyWidth, nBottom - y};
        break;
    default: layout.m_body = {m, y, nBodyWidth, nBottom - y}; break;
    }
    return layout;
}
