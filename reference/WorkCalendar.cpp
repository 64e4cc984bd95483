#include "WorkCalendar.h"

#include "Logger.h"
#include "XMLUtils.h"

bool CWorkCalendar::IsValidDate(const CDate& date)
{
    return date.m_nYear >= 1900 && date.m_nYear <= 9999 && IsRealDate(date);
}

bool CWorkCalendar::LoadData(const std::string& strPath)
{
    KTRACE("CWorkCalendar::LoadData");
    FreeData();
    KLOG_DEBUG << "CWorkCalendar::LoadData filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadCatalogue(
            strPath, {"work_calendar", "Can't load work calendar", "Work calendar invalid format"},
            doc, pRoot))
        return false;
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
