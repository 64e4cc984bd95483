#include "WorkCalendar.h"

#include "Logger.h"
#include "XMLUtils.h"

namespace
{
bool IsLeap(unsigned nYear)
{
    return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}
} // namespace

bool CWorkCalendar::IsValidDate(const CDate& date)
{
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.m_nYear < 1900 || date.m_nYear > 9999 || date.m_nMonth < 1 || date.m_nMonth > 12 ||
        date.m_nDay < 1)
        return false;
    const unsigned nDays = kDays[date.m_nMonth - 1] + (date.m_nMonth == 2 && IsLeap(date.m_nYear));
    return date.m_nDay <= nDays;
}

int CWorkCalendar::DayOfWeek(const CDate& date)
{
    // Sakamoto's method gives 0 = Sunday; shift to 0 = Monday.
    static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int nYear = static_cast<int>(date.m_nYear);
    if (date.m_nMonth < 3)
        --nYear;
    const int nSunday0 = (nYear + nYear / 4 - nYear / 100 + nYear / 400 +
                          kOffsets[date.m_nMonth - 1] + static_cast<int>(date.m_nDay)) % 7;
    return (nSunday0 + 6) % 7;
}

bool CWorkCalendar::LoadData(const std::string& strPath)
{
    KTRACE("CWorkCalendar::LoadData");
    FreeData();
    KLOG_DEBUG << "CWorkCalendar::LoadData filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadXmlDocument(strPath, doc, pRoot, true))
    {
        KLOG_ERR << "Can't load work calendar";
        return false;
    }
    if (CXMLUtils::GetTagName(pRoot) != "work_calendar")
    {
        KLOG_ERR << "Work calendar invalid format";
        return false;
    }
    for (const xmlNode* pYear = pRoot->children; pYear; pYear = pYear->next)
    {
        if (pYear->type != XML_ELEMENT_NODE || CXMLUtils::GetTagName(pYear) != "year")
            continue;
        unsigned nYear = 0;
        if (!CXMLUtils::GetAttributeUINT(pYear, "value", nYear) || !IsValidDate({nYear, 1, 1}))
        {
            KLOG_ERR << "Work calendar invalid year";
            FreeData();
            return false;
        }
        m_years.insert(nYear);
        for (const xmlNode* pDay = pYear->children; pDay; pDay = pDay->next)
        {
            if (pDay->type != XML_ELEMENT_NODE)
                continue;
            const std::string strTag = CXMLUtils::GetTagName(pDay);
            std::set<CDate>* pTarget = strTag == "holiday"   ? &m_holidays
                                       : strTag == "short"   ? &m_shortDays
                                       : strTag == "workday" ? &m_workdays
                                                             : nullptr;
            if (!pTarget)
                continue;
            unsigned nDay = 0, nMonth = 0;
            CXMLUtils::GetAttributeUINT(pDay, "day", nDay);
            CXMLUtils::GetAttributeUINT(pDay, "month", nMonth);
            const CDate date{nYear, nMonth, nDay};
            if (!IsValidDate(date))
            {
                KLOG_WARN << "Work calendar: no such day " << nDay << "." << nMonth << "." << nYear;
                continue;
            }
            pTarget->insert(date);
        }
    }
    return true;
}

void CWorkCalendar::FreeData()
{
    m_years.clear();
    m_holidays.clear();
    m_shortDays.clear();
    m_workdays.clear();
}

bool CWorkCalendar::IsWorkingDay(const CDate& date) const
{
    if (m_holidays.contains(date))
        return false;
    if (m_workdays.contains(date))
        return true;
    return DayOfWeek(date) < 5;
}

bool CWorkCalendar::IsShortDay(const CDate& date) const
{
    return m_shortDays.contains(date) && IsWorkingDay(date);
}
