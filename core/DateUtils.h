#pragma once

#include <compare>
#include <ctime>

// A calendar day, ordered by year, then month, then day.
struct CDate
{
    unsigned m_nYear = 0;
    unsigned m_nMonth = 0;
    unsigned m_nDay = 0;

    // NOLINTNEXTLINE(modernize-use-nullptr): a false report on a defaulted comparison
    auto operator<=>(const CDate&) const = default;
};

// A moment of the local day: date and time of day.
struct CLocalTime
{
    CDate m_date;
    int m_nHour = 0;
    int m_nMinute = 0;
    int m_nSecond = 0;
};

// Calendar arithmetic of the Gregorian calendar, for every window and reader.
bool IsLeapYear(unsigned nYear);
// 28 to 31; 0 for a month outside 1-12.
unsigned DaysInMonth(unsigned nYear, unsigned nMonth);
// True for a day that exists (year 1 or later).
bool IsRealDate(const CDate& date);
// 0 = Monday ... 6 = Sunday.
int DayOfWeek(const CDate& date);
// The same day n months later (earlier for n < 0), kept inside the month.
CDate AddMonths(const CDate& date, int nMonths);
// The day n days later (earlier for n < 0).
CDate AddDays(const CDate& date, int nDays);

// The local date and time of a time value; a failed conversion gives zeros.
CLocalTime ToLocalTime(std::time_t tTime);
CDate ToLocalDate(std::time_t tTime);
// A time value inside that local day (its noon).
std::time_t FromLocalDate(const CDate& date);
