#pragma once

#include "DateUtils.h"

#include <set>
#include <string>

// The production calendar ("work_calendar.dat", enciphered XML): which days
// are days off, which are shortened working days, and which weekend days are
// worked because a day off was moved. Every other Monday to Friday is a
// working day and every other Saturday and Sunday a day off.
//
//   <work_calendar>
//     <year value="2027">
//       <holiday day="1" month="1"/>   a day off (a holiday or a moved day off)
//       <short day="22" month="2"/>    a working day one hour shorter
//       <workday day="..." month="..."/> a Saturday or Sunday that is worked
//     </year>
//   </work_calendar>
//
// Elements with other names are ignored; a day whose attributes do not form a
// real date is skipped with a log line; a "year" without a valid "value"
// fails the load.
class CWorkCalendar
{
public:
    bool LoadData(const std::string& strPath);
    void FreeData();

    bool IsWorkingDay(const CDate& date) const;
    bool IsShortDay(const CDate& date) const;
    // True when the calendar holds data for the date's year.
    bool CoversYear(unsigned nYear) const { return m_years.contains(nYear); }

    const std::set<CDate>& GetHolidays() const { return m_holidays; }
    const std::set<CDate>& GetShortDays() const { return m_shortDays; }
    const std::set<CDate>& GetWorkedWeekendDays() const { return m_workdays; }

    // A real day of the years a calendar file may hold (1900-9999).
    static bool IsValidDate(const CDate& date);

private:
    std::set<unsigned> m_years;
    std::set<CDate> m_holidays;
    std::set<CDate> m_shortDays;
    std::set<CDate> m_workdays;
};
