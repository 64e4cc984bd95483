#include "DateUtils.h"

#include <algorithm>
#include <array>

namespace
{
// Days from 1970-01-01 to a civil date and back, over whole 400-year eras,
// so that moving by any number of days costs the same.
long long DaysFromCivil(const CDate& date)
{
    const long long nYear = static_cast<long long>(date.m_nYear) - (date.m_nMonth <= 2 ? 1 : 0);
    const long long nEra = (nYear >= 0 ? nYear : nYear - 399) / 400;
    const long long nYearOfEra = nYear - nEra * 400;
    const long long nMonth = date.m_nMonth;
    const long long nDayOfYear =
        (153 * (nMonth > 2 ? nMonth - 3 : nMonth + 9) + 2) / 5 + date.m_nDay - 1;
    const long long nDayOfEra = nYearOfEra * 365 + nYearOfEra / 4 - nYearOfEra / 100 + nDayOfYear;
    return nEra * 146097 + nDayOfEra - 719468;
}

CDate CivilFromDays(long long nDays)
{
    nDays += 719468;
    const long long nEra = (nDays >= 0 ? nDays : nDays - 146096) / 146097;
    const long long nDayOfEra = nDays - nEra * 146097;
    const long long nYearOfEra =
        (nDayOfEra - nDayOfEra / 1460 + nDayOfEra / 36524 - nDayOfEra / 146096) / 365;
    const long long nDayOfYear = nDayOfEra - (365 * nYearOfEra + nYearOfEra / 4 - nYearOfEra / 100);
    const long long nMonthIndex = (5 * nDayOfYear + 2) / 153;
    const long long nMonth = nMonthIndex < 10 ? nMonthIndex + 3 : nMonthIndex - 9;
    const long long nYear = nYearOfEra + nEra * 400 + (nMonth <= 2 ? 1 : 0);
    if (nYear < 0)
        return {};
    return {static_cast<unsigned>(nYear), static_cast<unsigned>(nMonth),
            static_cast<unsigned>(nDayOfYear - (153 * nMonthIndex + 2) / 5 + 1)};
}
} // namespace

bool IsLeapYear(unsigned nYear)
{
    return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

unsigned DaysInMonth(unsigned nYear, unsigned nMonth)
{
    static constexpr std::array<unsigned, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (nMonth < 1 || nMonth > 12)
        return 0;
    return nMonth == 2 && IsLeapYear(nYear) ? 29 : kDays[nMonth - 1];
}

bool IsRealDate(const CDate& date)
{
    return date.m_nYear >= 1 && date.m_nDay >= 1 &&
           date.m_nDay <= DaysInMonth(date.m_nYear, date.m_nMonth);
}

int DayOfWeek(const CDate& date)
{
    // 1970-01-01 was a Thursday (3 counting from Monday).
    const long long nWeekday = (DaysFromCivil(date) + 3) % 7;
    return static_cast<int>(nWeekday < 0 ? nWeekday + 7 : nWeekday);
}

CDate AddMonths(const CDate& date, int nMonths)
{
    const long long nIndex =
        static_cast<long long>(date.m_nYear) * 12 + date.m_nMonth - 1 + nMonths;
    if (nIndex < 0)
        return {};
    CDate result;
    result.m_nYear = static_cast<unsigned>(nIndex / 12);
    result.m_nMonth = static_cast<unsigned>(nIndex % 12) + 1;
    result.m_nDay = std::clamp(date.m_nDay, 1U, DaysInMonth(result.m_nYear, result.m_nMonth));
    return result;
}

CDate AddDays(const CDate& date, int nDays)
{
    return CivilFromDays(DaysFromCivil(date) + nDays);
}

CLocalTime ToLocalTime(std::time_t tTime)
{
    CLocalTime result;
    std::tm tmLocal{};
    if (!::localtime_r(&tTime, &tmLocal))
        return result;
    result.m_date = {static_cast<unsigned>(tmLocal.tm_year + 1900),
                     static_cast<unsigned>(tmLocal.tm_mon + 1),
                     static_cast<unsigned>(tmLocal.tm_mday)};
    result.m_nHour = tmLocal.tm_hour;
    result.m_nMinute = tmLocal.tm_min;
    result.m_nSecond = tmLocal.tm_sec;
    return result;
}

CDate ToLocalDate(std::time_t tTime)
{
    return ToLocalTime(tTime).m_date;
}

std::time_t FromLocalDate(const CDate& date)
{
    std::tm tmLocal{};
    tmLocal.tm_year = static_cast<int>(date.m_nYear) - 1900;
    tmLocal.tm_mon = static_cast<int>(date.m_nMonth) - 1;
    tmLocal.tm_mday = static_cast<int>(date.m_nDay);
    tmLocal.tm_hour = 12; // noon: never shifted into another day by a clock change
    tmLocal.tm_isdst = -1;
    return std::mktime(&tmLocal);
}
