#pragma once

#include <compare>
#include <ctime>

// A calendar day, ordered by year, then month, then day.
struct CDate
{
    unsigned m_nYear = 0;
    unsigned m_nMonth = 0;
    unsigned m_nDay = 0;

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

// The local date and time of a time value; a failed conversion gives zeros.
CLocalTime ToLocalTime(std::time_t tTime);
CDate ToLocalDate(std::time_t tTime);
// A time value inside that local day (its noon).
std::time_t FromLocalDate(const CDate& date);
