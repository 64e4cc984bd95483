#pragma once

#include "DateUtils.h"
#include "DomNode.h"

#include <string>
#include <vector>

class CClientContext;
class CTaxCalendar;
class CWorkCalendar;

// One cell of a month's grid.
struct CCalendarDay
{
    CDate m_date;
    bool m_bInMonth = true;
    bool m_bDayOff = false;        // a weekend or a holiday of the work calendar
    bool m_bHoliday = false;       // a day off the work calendar names
    bool m_bWorkedWeekend = false; // a Saturday or Sunday that is worked
    bool m_bShort = false;         // a working day one hour shorter
    bool m_bTax = false;
    bool m_bReport = false;
    bool m_bToday = false;
    bool m_bSelected = false;
};

// The month grid both calendars show: whole weeks from Monday to Sunday that
// cover the month, each day marked with what the work and tax calendars say
// of it. Without a work calendar for the year, Saturdays and Sundays are the
// days off.
class CCalendarMonth
{
public:
    static std::vector<CCalendarDay> Build(unsigned nYear, unsigned nMonth,
                                           const CWorkCalendar* pWork, const CTaxCalendar* pTax,
                                           const CDate& today, const CDate& selected);
    // The grid as a table: a head of weekday names, a row a week; every day
    // of the month is a link with the id prefix + YYYYMMDD. The grid is one
    // Tab stop (the selected day, else today, else the first of the month);
    // the arrows move within it.
    static std::string ToHtml(const std::vector<CCalendarDay>& days,
                              const std::string& strIdPrefix);
    // The day an arrow key pressed on a day of a grid drawn by ToHtml leads
    // to (a week up or down); false for other keys, events and elements.
    static bool ArrowTarget(const CElement& target, const std::string& strIdPrefix, unsigned nEvent,
                            unsigned nKeyCode, CDate& next);
    // Gives a day of a grid drawn by ToHtml the keyboard and the grid's one
    // Tab stop; false when the grid has no such day.
    static bool FocusDay(const CElement& root, const std::string& strIdPrefix, const CDate& day);
    // The id ToHtml gives a day.
    static std::string DayId(const std::string& strIdPrefix, const CDate& date);
    // The date of an id made by ToHtml; false for anything else.
    static bool ParseDayId(const std::string& strId, const std::string& strIdPrefix, CDate& date);

    // "Декабрь", and "декабря" as in a date.
    static std::string MonthName(unsigned nMonth);
    static std::string MonthOfDate(unsigned nMonth);
    // "7 декабря 2026".
    static std::string FormatDate(const CDate& date);
    // Today by the windows' clock.
    static CDate Today(const CClientContext& context);
};
