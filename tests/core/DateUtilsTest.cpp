#include "DateUtils.h"

#include <gtest/gtest.h>

#include <ctime>

TEST(DateUtils, MonthLengthsAndRealDaysFollowTheGregorianLeapRule)
{
    struct CCase
    {
        unsigned m_nYear, m_nMonth, m_nDays;
    };
    for (const CCase& test : {CCase{2027, 2, 28}, CCase{2028, 2, 29}, CCase{2100, 2, 28},
                              CCase{2000, 2, 29}, CCase{1900, 2, 28}, CCase{2026, 12, 31},
                              CCase{2026, 4, 30}, CCase{2026, 0, 0}, CCase{2026, 13, 0}})
    {
        EXPECT_EQ(DaysInMonth(test.m_nYear, test.m_nMonth), test.m_nDays)
            << test.m_nYear << "-" << test.m_nMonth;
        if (test.m_nDays != 0)
        {
            EXPECT_TRUE(IsRealDate({test.m_nYear, test.m_nMonth, test.m_nDays}));
            EXPECT_FALSE(IsRealDate({test.m_nYear, test.m_nMonth, test.m_nDays + 1}));
        }
    }
    EXPECT_FALSE(IsRealDate({2026, 5, 0}));
    EXPECT_FALSE(IsRealDate({0, 5, 1}));
}

TEST(DateUtils, DatesMoveByMonthsAndDaysAcrossMonthsYearsAndLeapDays)
{
    struct CCase
    {
        CDate m_from;
        int m_nMonths, m_nDays;
        CDate m_to;
    };
    for (const CCase& test : {
             CCase{{2026, 1, 31}, 1, 0, {2026, 2, 28}}, // kept inside the shorter month
             CCase{{2028, 3, 31}, -1, 0, {2028, 2, 29}},
             CCase{{2026, 12, 15}, 1, 0, {2027, 1, 15}},
             CCase{{2026, 1, 15}, -12, 0, {2025, 1, 15}},
             CCase{{2026, 12, 31}, 0, 1, {2027, 1, 1}},
             CCase{{2028, 3, 1}, 0, -1, {2028, 2, 29}},
             CCase{{2027, 3, 1}, 0, -1, {2027, 2, 28}},
             CCase{{2026, 12, 7}, 0, 7, {2026, 12, 14}},
             CCase{{2000, 1, 1}, 0, 366, {2001, 1, 1}}, // 2000 is a leap year
             CCase{{2100, 2, 28}, 0, 1, {2100, 3, 1}},  // 2100 is not
             CCase{{1969, 12, 31}, 0, 1, {1970, 1, 1}},
             CCase{{2026, 12, 7}, 0, -365 * 400 - 97, {1626, 12, 7}},
         })
    {
        const CDate moved = test.m_nMonths != 0 ? AddMonths(test.m_from, test.m_nMonths)
                                                : AddDays(test.m_from, test.m_nDays);
        EXPECT_EQ(moved, test.m_to)
            << test.m_from.m_nYear << "-" << test.m_from.m_nMonth << "-" << test.m_from.m_nDay
            << " by " << test.m_nMonths << "m " << test.m_nDays << "d";
    }
}

TEST(DateUtils, WeekdaysCountFromMondayAndAgreeWithTheCLibrary)
{
    EXPECT_EQ(DayOfWeek({2027, 1, 1}), 4) << "a Friday";
    EXPECT_EQ(DayOfWeek({2026, 12, 6}), 6) << "a Sunday";
    EXPECT_EQ(DayOfWeek({2026, 12, 7}), 0) << "a Monday";
    EXPECT_EQ(DayOfWeek({1900, 1, 1}), 0) << "a Monday, before 1970";
    // Every day of ten years against mktime's own weekday.
    for (CDate date{2020, 1, 1}; date < CDate{2030, 1, 1}; date = AddDays(date, 1))
    {
        std::tm tmDay{};
        tmDay.tm_year = static_cast<int>(date.m_nYear) - 1900;
        tmDay.tm_mon = static_cast<int>(date.m_nMonth) - 1;
        tmDay.tm_mday = static_cast<int>(date.m_nDay);
        tmDay.tm_hour = 12;
        std::mktime(&tmDay);
        ASSERT_EQ(DayOfWeek(date), (tmDay.tm_wday + 6) % 7)
            << date.m_nYear << "-" << date.m_nMonth << "-" << date.m_nDay;
    }
}
