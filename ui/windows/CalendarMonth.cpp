#include "CalendarMonth.h"

#include "ClientContext.h"
#include "DomEvent.h"
#include "TaxCalendar.h"
#include "WorkCalendar.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace
{
constexpr std::array<const char*, 12> kMonths{"Январь",   "Февраль", "Март",   "Апрель",
                                              "Май",      "Июнь",    "Июль",   "Август",
                                              "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};
constexpr std::array<const char*, 12> kMonthsOfDate{"января",   "февраля", "марта",  "апреля",
                                                    "мая",      "июня",    "июля",   "августа",
                                                    "сентября", "октября", "ноября", "декабря"};
constexpr std::array<const char*, 7> kWeekdays{"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};
constexpr std::array<const char*, 7> kWeekdayNames{
    "понедельник", "вторник", "среда", "четверг", "пятница", "суббота", "воскресенье"};

std::string DayClasses(const CCalendarDay& day)
{
    std::string strClass = "day";
    const std::pair<bool, const char*> kFlags[] = {
        {!day.m_bInMonth, " other_month"},
        {day.m_bDayOff, " day_off"},
        {day.m_bHoliday, " holiday"},
        {day.m_bWorkedWeekend, " worked"},
        {day.m_bShort, " short_day"},
        {day.m_bToday, " today"},
        {day.m_bSelected, " selected"},
        {day.m_bInMonth && (day.m_bTax || day.m_bReport), " has_entries"}};
    for (const auto& flag : kFlags)
        if (flag.first)
            strClass += flag.second;
    return strClass;
}

// What a screen reader says of a day: its date and what it holds.
std::string DayLabel(const CCalendarDay& day)
{
    std::string strLabel = CCalendarMonth::FormatDate(day.m_date) + ", " +
                           kWeekdayNames[static_cast<std::size_t>(DayOfWeek(day.m_date))];
    if (day.m_bToday)
        strLabel += ", сегодня";
    if (day.m_bHoliday)
        strLabel += ", праздничный день";
    else if (day.m_bDayOff)
        strLabel += ", выходной";
    if (day.m_bWorkedWeekend)
        strLabel += ", рабочий день";
    if (day.m_bShort)
        strLabel += ", сокращенный день";
    if (day.m_bTax)
        strLabel += ", есть платежи";
    if (day.m_bReport)
        strLabel += ", есть отчетность";
    return strLabel;
}

// The day of a grid that the Tab key reaches.
const CCalendarDay* TabStop(const std::vector<CCalendarDay>& days)
{
    const CCalendarDay* pFirst = nullptr;
    const CCalendarDay* pToday = nullptr;
    for (const CCalendarDay& day : days)
    {
        if (!day.m_bInMonth)
            continue;
        if (day.m_bSelected)
            return &day;
        if (!pFirst)
            pFirst = &day;
        if (day.m_bToday)
            pToday = &day;
    }
    return pToday ? pToday : pFirst;
}
} // namespace

std::string CCalendarMonth::DayId(const std::string& strPrefix, const CDate& date)
{
    char szId[16];
    std::snprintf(szId, sizeof(szId), "%04u%02u%02u", date.m_nYear % 10000, date.m_nMonth % 100,
                  date.m_nDay % 100);
    return strPrefix + szId;
}

std::string CCalendarMonth::MonthName(unsigned nMonth)
{
    return nMonth >= 1 && nMonth <= 12 ? kMonths[nMonth - 1] : "";
}

std::string CCalendarMonth::MonthOfDate(unsigned nMonth)
{
    return nMonth >= 1 && nMonth <= 12 ? kMonthsOfDate[nMonth - 1] : "";
}

std::string CCalendarMonth::FormatDate(const CDate& date)
{
    return std::to_string(date.m_nDay) + " " + MonthOfDate(date.m_nMonth) + " " +
           std::to_string(date.m_nYear);
}

CDate CCalendarMonth::Today(const CClientContext& context)
{
    return ToLocalDate(context.Now());
}

std::vector<CCalendarDay> CCalendarMonth::Build(unsigned nYear, unsigned nMonth,
                                                const CWorkCalendar* pWork,
                                                const CTaxCalendar* pTax, const CDate& today,
                                                const CDate& selected)
{
    std::vector<CCalendarDay> days;
    const unsigned nDays = DaysInMonth(nYear, nMonth);
    if (nDays == 0)
        return days;
    const CDate first{nYear, nMonth, 1};
    const CDate last{nYear, nMonth, nDays};
    const int nLead = DayOfWeek(first);
    const int nTrail = 6 - DayOfWeek(last);
    for (int i = -nLead; i < static_cast<int>(nDays) + nTrail; ++i)
    {
        CCalendarDay day;
        day.m_date = AddDays(first, i);
        day.m_bInMonth = day.m_date.m_nMonth == nMonth;
        const bool bWeekend = DayOfWeek(day.m_date) >= 5;
        if (pWork && pWork->CoversYear(day.m_date.m_nYear))
        {
            day.m_bDayOff = !pWork->IsWorkingDay(day.m_date);
            day.m_bHoliday = pWork->GetHolidays().contains(day.m_date);
            day.m_bWorkedWeekend = bWeekend && !day.m_bDayOff;
            day.m_bShort = pWork->IsShortDay(day.m_date);
        }
        else
            day.m_bDayOff = bWeekend;
        if (pTax)
        {
            day.m_bTax = pTax->GetTaxDates().contains(day.m_date);
            day.m_bReport = pTax->GetReportDates().contains(day.m_date);
        }
        day.m_bToday = day.m_date == today;
        day.m_bSelected = day.m_date == selected;
        days.push_back(day);
    }
    return days;
}

std::string CCalendarMonth::ToHtml(const std::vector<CCalendarDay>& days,
                                   const std::string& strIdPrefix)
{
    std::string html = "<table class=\"month_grid\" role=\"grid\"><thead><tr>";
    for (std::size_t i = 0; i < kWeekdays.size(); ++i)
        html += std::string("<th scope=\"col\"") + (i >= 5 ? " class=\"weekend\"" : "") +
                " abbr=\"" + kWeekdayNames[i] + "\">" + kWeekdays[i] + "</th>";
    html += "</tr></thead><tbody>";
    const CCalendarDay* pStop = TabStop(days);
    for (std::size_t i = 0; i < days.size(); ++i)
    {
        const CCalendarDay& day = days[i];
        if (i % 7 == 0)
            html += "<tr>";
        if (day.m_bInMonth)
            html += "<td id=\"" + CCalendarMonth::DayId(strIdPrefix, day.m_date) + "\" class=\"" +
                    DayClasses(day) + "\" role=\"gridcell\" tabindex=\"" +
                    (&day == pStop ? "0" : "-1") + "\" aria-selected=\"" +
                    (day.m_bSelected ? "true" : "false") + "\" aria-label=\"" + DayLabel(day) +
                    "\"><span class=\"day_num\">" + std::to_string(day.m_date.m_nDay) +
                    "</span><span class=\"marks\" aria-hidden=\"true\">" +
                    (day.m_bTax ? "<i class=\"mark_tax\"></i>" : "") +
                    (day.m_bReport ? "<i class=\"mark_report\"></i>" : "") + "</span></td>";
        else
            html += "<td class=\"" + DayClasses(day) +
                    "\" aria-hidden=\"true\"><span class=\"day_num\">" +
                    std::to_string(day.m_date.m_nDay) + "</span></td>";
        if (i % 7 == 6)
            html += "</tr>";
    }
    return html + "</tbody></table>";
}

bool CCalendarMonth::ArrowTarget(const CElement& target, const std::string& strIdPrefix,
                                 unsigned nEvent, unsigned nKeyCode, CDate& next)
{
    int nDays = 0;
    switch (nKeyCode)
    {
    case VK_LEFT: nDays = -1; break;
    case VK_RIGHT: nDays = 1; break;
    case VK_UP: nDays = -7; break;
    case VK_DOWN: nDays = 7; break;
    default: return false;
    }
    CDate day;
    if (nEvent != KEY_DOWN || !ParseDayId(target.GetAttribute("id"), strIdPrefix, day))
        return false;
    next = AddDays(day, nDays);
    return true;
}

bool CCalendarMonth::FocusDay(const CElement& root, const std::string& strIdPrefix,
                              const CDate& day)
{
    CElement cell = root.FindById(DayId(strIdPrefix, day));
    if (!cell)
        return false;
    for (CElement other : root.Select("td[tabindex=\"0\"]"))
        other.SetAttribute("tabindex", "-1");
    cell.SetAttribute("tabindex", "0");
    cell.SetState(STATE_FOCUS);
    return true;
}

bool CCalendarMonth::ParseDayId(const std::string& strId, const std::string& strIdPrefix,
                                CDate& date)
{
    if (!strId.starts_with(strIdPrefix) || strId.size() != strIdPrefix.size() + 8)
        return false;
    unsigned nValue = 0;
    for (std::size_t i = strIdPrefix.size(); i < strId.size(); ++i)
    {
        if (strId[i] < '0' || strId[i] > '9')
            return false;
        nValue = nValue * 10 + static_cast<unsigned>(strId[i] - '0');
    }
    const CDate parsed{nValue / 10000, nValue / 100 % 100, nValue % 100};
    if (parsed.m_nDay == 0 || parsed.m_nDay > DaysInMonth(parsed.m_nYear, parsed.m_nMonth))
        return false;
    date = parsed;
    return true;
}
