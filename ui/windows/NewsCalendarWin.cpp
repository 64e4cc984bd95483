#include "NewsCalendarWin.h"

#include "CalendarMonth.h"
#include "ClientContext.h"

CNewsCalendarWin::CNewsCalendarWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CNewsCalendarWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/news_calendar.htm"), root))
        return false;
    Refresh();
    return true;
}

void CNewsCalendarWin::ShowBookmark(CBookmark&)
{
    if (m_month.m_nYear == 0)
        Refresh();
    else
        Draw();
}

void CNewsCalendarWin::Refresh()
{
    const CDate today = CCalendarMonth::Today(m_context);
    ShowMonth(today.m_nYear, today.m_nMonth);
}

void CNewsCalendarWin::ShowMonth(unsigned nYear, unsigned nMonth)
{
    m_month = {nYear, nMonth, 1};
    Draw();
}

void CNewsCalendarWin::SetStacked(bool bStacked)
{
    CElement calendar = GetRootElement().SelectFirst(".news_calendar");
    const std::string strClass = bStacked ? "news_calendar stacked" : "news_calendar";
    if (calendar && calendar.GetAttribute("class") != strClass)
        calendar.SetAttribute("class", strClass);
}

void CNewsCalendarWin::Draw()
{
    const CElement root = GetRootElement();
    const auto days = CCalendarMonth::Build(m_month.m_nYear, m_month.m_nMonth,
                                            m_context.GetWorkCalendar(), m_context.GetTaxCalendar(),
                                            CCalendarMonth::Today(m_context), CDate{});
    root.FindById("month_title")
        .SetText(CCalendarMonth::MonthName(m_month.m_nMonth) + " " +
                 std::to_string(m_month.m_nYear));
    root.FindById("month_grid").SetHtml(CCalendarMonth::ToHtml(days, kDayPrefix));
}

bool CNewsCalendarWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const CElement target = CElement::FromNode(event.m_pTarget).SelectParent("[id]");
    const std::string strId = target.GetAttribute("id");
    CDate day;
    if (strId == "btn_prev_month" || strId == "btn_next_month")
    {
        const CDate month = AddMonths(m_month, strId == "btn_prev_month" ? -1 : 1);
        ShowMonth(month.m_nYear, month.m_nMonth);
    }
    else if (strId == "link_tax_calendar" && m_pHost)
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(
                                  CBookmark::ForTaxCalendar(CCalendarMonth::Today(m_context))),
                              true);
    else if (CCalendarMonth::ParseDayId(strId, kDayPrefix, day) && m_pHost)
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForTaxCalendar(day)), true);
    else
        return false;
    return true;
}

bool CNewsCalendarWin::on_key(CElement, CElement target, unsigned nEvent, unsigned nKeyCode,
                              unsigned)
{
    CDate next;
    if (!CCalendarMonth::ArrowTarget(target, kDayPrefix, nEvent, nKeyCode, next))
        return false;
    if (next.m_nMonth != m_month.m_nMonth || next.m_nYear != m_month.m_nYear)
        ShowMonth(next.m_nYear, next.m_nMonth);
    CCalendarMonth::FocusDay(GetRootElement(), kDayPrefix, next);
    return true;
}
