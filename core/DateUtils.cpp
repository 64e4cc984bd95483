#include "DateUtils.h"

CLocalTime ToLocalTime(std::time_t tTime)
{
    CLocalTime result;
    std::tm tmLocal{};
    if (!::localtime_r(&tTime, &tmLocal))
        return result;
    result.m_date = {static_cast<unsigned>(tmLocal.tm_year + 1900),
                     static_cast<unsigned>(tmLocal.tm_mon + 1), static_cast<unsigned>(tmLocal.tm_mday)};
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
