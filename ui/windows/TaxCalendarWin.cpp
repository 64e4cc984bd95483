#include "TaxCalendarWin.h"

#include "CalendarMonth.h"
#include "ClientContext.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "TaxCalendar.h"
#include "TextUtils.h"

CTaxCalendarWin::CTaxCalendarWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CTaxCalendarWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/tax_calendar.htm"), root))
        return false;
    if (!m_tax.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/tax_item_html.tmpl")) ||
        !m_report.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/report_item_html.tmpl")))
    {
        KLOG_ERR << "CTaxCalendarWin::Create can't load the entry templates";
        return false;
    }
    return true;
}

void CTaxCalendarWin::ShowBookmark(CBookmark& view)
{
    m_selected = view.m_date.m_nYear != 0 && view.m_date.m_nDay != 0
                     ? view.m_date
                     : CCalendarMonth::Today(m_context);
    Draw();
}

void CTaxCalendarWin::SelectDate(const CDate& date)
{
    m_selected = date;
    // The view on screen keeps the day, so Back and Forward come back to it.
    if (CBookmark* pView = m_pHost ? m_pHost->GetCurrentView() : nullptr;
        pView && pView->m_nType == CBookmark::VIEW_TAX_CALENDAR)
        pView->m_date = date;
    Draw();
}

std::string CTaxCalendarWin::BuildDayEntries(const CDate& date, const CTaxCalendar* pCalendar,
                                             const StringGenerator& tax,
                                             const StringGenerator& report)
{
    const std::time_t tDay = FromLocalDate(date);
    std::string html;
    if (pCalendar)
    {
        const auto& taxes = pCalendar->GetTaxes(tDay);
        const auto& reports = pCalendar->GetReports(tDay);
        if (!taxes.empty())
        {
            html += "<h3 class=\"entries_title tax_title\">Уплата — " +
                    CTextUtils::CountOf(taxes.size(), "платеж", "платежа", "платежей") + "</h3>";
            for (const CTaxEntry& entry : taxes)
                html += tax.Generate({{"NAME", entry.m_strName},
                                      {"PAYER", entry.m_strPayer},
                                      {"BUDGET", entry.m_strBudget},
                                      {"PAYMENT_ENTRY", entry.m_strPaymentEntry},
                                      {"GROUP", entry.m_strGroup}});
        }
        if (!reports.empty())
        {
            html += "<h3 class=\"entries_title report_title\">Отчетность — " +
                    CTextUtils::CountOf(reports.size(), "отчет", "отчета", "отчетов") + "</h3>";
            for (const CReportEntry& entry : reports)
                html += report.Generate({{"REPORTER", entry.m_strReporter},
                                         {"KIND", entry.m_strKind},
                                         {"FORM", entry.m_strForm},
                                         {"GROUP", entry.m_strGroup}});
        }
    }
    if (html.empty())
        html = "<div class=\"no_entries\">На этот день нет сроков уплаты налогов и сдачи "
               "отчетности.</div>";
    return html;
}

void CTaxCalendarWin::Draw()
{
    const CTaxCalendar* pTax = m_context.GetTaxCalendar();
    const CElement root = GetRootElement();
    const auto days =
        CCalendarMonth::Build(m_selected.m_nYear, m_selected.m_nMonth, m_context.GetWorkCalendar(),
                              pTax, CCalendarMonth::Today(m_context), m_selected);
    root.FindById("month_title")
        .SetText(CCalendarMonth::MonthName(m_selected.m_nMonth) + " " +
                 std::to_string(m_selected.m_nYear));
    root.FindById("month_grid").SetHtml(CCalendarMonth::ToHtml(days, kDayPrefix));
    root.FindById("day_title").SetText(CCalendarMonth::FormatDate(m_selected));
    root.FindById("day_entries").SetHtml(BuildDayEntries(m_selected, pTax, m_tax, m_report));
}

bool CTaxCalendarWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const std::string strId =
        CElement::FromNode(event.m_pTarget).SelectParent("[id]").GetAttribute("id");
    CDate day;
    if (strId == "btn_prev_month" || strId == "btn_next_month")
        SelectDate(AddMonths(m_selected, strId == "btn_prev_month" ? -1 : 1));
    else if (strId == "btn_prev_year" || strId == "btn_next_year")
        SelectDate(AddMonths(m_selected, strId == "btn_prev_year" ? -12 : 12));
    else if (strId == "btn_today")
        SelectDate(CCalendarMonth::Today(m_context));
    else if (CCalendarMonth::ParseDayId(strId, kDayPrefix, day))
    {
        SelectDate(day);
        CCalendarMonth::FocusDay(GetRootElement(), kDayPrefix, day);
    }
    else
        return false;
    return true;
}

bool CTaxCalendarWin::on_key(CElement, CElement target, unsigned nEvent, unsigned nKeyCode,
                             unsigned)
{
    // The arrows move the chosen day from the day that has the keyboard.
    CDate next;
    if (!CCalendarMonth::ArrowTarget(target, kDayPrefix, nEvent, nKeyCode, next))
        return false;
    SelectDate(next);
    CCalendarMonth::FocusDay(GetRootElement(), kDayPrefix, m_selected);
    return true;
}
