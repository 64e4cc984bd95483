#include "MainLayout.h"

#include <algorithm>

CMainLayout CMainLayout::Compute(int nWidth, int nHeight, int nKind, int nTopHeight,
                                 int nNewsHeaderHeight)
{
    CMainLayout layout;
    const int W = nWidth, H = nHeight;
    layout.m_shadow = {0, 0, W, H};
    layout.m_topPanel = {0, 0, W, nTopHeight};
    int y = nTopHeight;
    layout.m_searchPanel = {0, y, W, 135};
    y += 135;
    layout.m_bSearchBottomLine = nKind != 0;
    layout.m_statusPanel = {0, H - 20, W, 20};
    const int nBottom = H - 20;
    int m = 0;
    if (nKind != 0)
    {
        m = std::max(0, (W - 1000) / 2);
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
        layout.m_welcome = {0, y, W, 230};
        y += 230;
        const int n = W - std::max(W - 1000, 1000);
        const int c = n / 2 + 210;
        layout.m_newsCalendar = {0, y, c, nBottom - y};
        const int nHeader = std::clamp(nNewsHeaderHeight, 0, std::max(0, nBottom - y));
        layout.m_newsHeader = {c, y, W - c, nHeader};
        y += nHeader;
        layout.m_newsScrollBar = {c, y, W - c, 10};
        layout.m_nMarker1 = 55;
        layout.m_nMarker2 = 55 + (W > 1000 ? (W - 1000) / 2 : 0);
        y += 10;
        layout.m_newsPanel = {c, y, W - c, nBottom - y};
        break;
    }
    case 7:
        layout.m_formSections = {m, y, nBodyWidth, 430};
        y += 430;
        layout.m_newsScrollBar = {m, y, nBodyWidth, 10};
        layout.m_nMarker1 = layout.m_nMarker2 = 55;
        y += 10;
        layout.m_newsPanel = {m, y, nBodyWidth, nBottom - y};
        break;
    default: layout.m_body = {m, y, nBodyWidth, nBottom - y}; break;
    }
    return layout;
}
