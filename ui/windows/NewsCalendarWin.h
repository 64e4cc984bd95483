#pragma once

#include "Bookmark.h"
#include "HTMLayoutWin.h"
#include "ViewHost.h"

class CClientContext;

// The month beside the news on the home page: days with taxes or reports
// marked, today marked; a day opens the tax calendar at that day.
class CNewsCalendarWin : public CHTMLayoutWin
{
public:
    static constexpr const char* kDayPrefix = "N";

    CNewsCalendarWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;

    // The home view: today's month (or the one the user went to) drawn anew.
    void ShowBookmark(CBookmark& view);
    // Back to today's month, with the calendars read again.
    void Refresh();
    void ShowMonth(unsigned nYear, unsigned nMonth);
    // Under the topics and as wide as the window (a narrow window), or
    // beside the news.
    void SetStacked(bool bStacked);
    const CDate& GetMonth() const { return m_month; }

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;
    // The arrows move the keyboard between the days, into the next or the
    // previous month past the edge of this one.
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    void Draw();

    CClientContext& m_context;
    IViewHost* m_pHost;
    CDate m_month; // its day is 1; zero until first drawn
};
