#pragma once

#include "Bookmark.h"
#include "HTMLayoutWin.h"
#include "StringGenerator.h"
#include "ViewHost.h"

class CClientContext;
class CTaxCalendar;

// The tax calendar (view kind 6): a month with the days off and holidays of
// the work calendar and the days with taxes and reports marked, and what the
// chosen day holds: its taxes and its reports. The user moves between days,
// months and years; the view keeps the chosen day for Back and Forward.
class CTaxCalendarWin : public CHTMLayoutWin
{
public:
    static constexpr const char* kDayPrefix = "T";

    CTaxCalendarWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;

    // The view's day, or today when it names none.
    void ShowBookmark(CBookmark& view);
    void SelectDate(const CDate& date);
    const CDate& GetSelected() const { return m_selected; }

    // What the day holds, as the list under the month.
    static std::string BuildDayEntries(const CDate& date, const CTaxCalendar* pCalendar,
                                       const StringGenerator& tax, const StringGenerator& report);

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

private:
    void Draw();

    CClientContext& m_context;
    IViewHost* m_pHost;
    CDate m_selected;
    StringGenerator m_tax;
    StringGenerator m_report;
};
