#include "TaxCalendar.h"

#include "Logger.h"
#include "XMLUtils.h"

namespace
{
const std::vector<CTaxEntry> kNoTaxes;
const std::vector<CReportEntry> kNoReports;

// The entry's date, or false when an attribute is missing.
bool ReadDate(const xmlNode* pNode, CDate& date)
{
    for (const char* szName : {"day", "month", "year"})
        if (!CXMLUtils::HasAttribute(pNode, szName))
            return false;
    unsigned nDay = 0, nMonth = 0, nYear = 0;
    CXMLUtils::GetAttributeUINT(pNode, "day", nDay);
    CXMLUtils::GetAttributeUINT(pNode, "month", nMonth);
    CXMLUtils::GetAttributeUINT(pNode, "year", nYear);
    date = {nYear, nMonth, nDay};
    return true;
}

// Fills the fields named by the entry's child elements; a later duplicate
// child replaces an earlier one, unknown children are ignored.
template <typename TEntry, std::size_t N>
TEntry ReadFields(const xmlNode* pNode,
                  const std::pair<const char*, std::string TEntry::*> (&fields)[N])
{
    TEntry entry;
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
    {
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        const std::string strTag = CXMLUtils::GetTagName(pChild);
        for (const auto& [szName, pField] : fields)
            if (strTag == szName)
                entry.*pField = CXMLUtils::GetText(pChild);
    }
    return entry;
}

constexpr std::pair<const char*, std::string CTaxEntry::*> kTaxFields[] = {
    {"name", &CTaxEntry::m_strName},     {"payer", &CTaxEntry::m_strPayer},
    {"budget", &CTaxEntry::m_strBudget}, {"payment_entry", &CTaxEntry::m_strPaymentEntry},
    {"group", &CTaxEntry::m_strGroup},
};

constexpr std::pair<const char*, std::string CReportEntry::*> kReportFields[] = {
    {"reporter", &CReportEntry::m_strReporter},
    {"kind", &CReportEntry::m_strKind},
    {"form", &CReportEntry::m_strForm},
    {"group", &CReportEntry::m_strGroup},
};
} // namespace

bool CTaxCalendar::LoadData(const std::string& strPath)
{
    KTRACE("CTaxCalendar::LoadData");
    FreeData();
    KLOG_DEBUG << "CTaxCalendar::LoadData filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadCatalogue(
            strPath, {"payments", "Can't load tax calendar", "Tax calendar invalid format"}, doc,
            pRoot))
        return false;
    LoadXml(pRoot);
    return true;
}

void CTaxCalendar::FreeData()
{
    m_taxDates.clear();
    m_taxes.clear();
    m_reportDates.clear();
    m_reports.clear();
}

void CTaxCalendar::LoadXml(const xmlNode* pRoot)
{
    for (const xmlNode* pNode = pRoot->children; pNode; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        const std::string strTag = CXMLUtils::GetTagName(pNode);
        CDate date;
        if ((strTag != "tax" && strTag != "report") || !ReadDate(pNode, date))
            continue;
        if (strTag == "tax")
        {
            m_taxDates.insert(date);
            m_taxes[date].push_back(ReadFields<CTaxEntry>(pNode, kTaxFields));
        }
        else
        {
            m_reportDates.insert(date);
            m_reports[date].push_back(ReadFields<CReportEntry>(pNode, kReportFields));
        }
    }
}

const std::vector<CTaxEntry>& CTaxCalendar::GetTaxes(std::time_t tTime) const
{
    const auto it = m_taxes.find(ToLocalDate(tTime));
    return it == m_taxes.end() ? kNoTaxes : it->second;
}

const std::vector<CReportEntry>& CTaxCalendar::GetReports(std::time_t tTime) const
{
    const auto it = m_reports.find(ToLocalDate(tTime));
    return it == m_reports.end() ? kNoReports : it->second;
}

bool CTaxCalendar::DoesDateHaveTax(std::time_t tTime) const
{
    return m_taxDates.contains(ToLocalDate(tTime));
}

bool CTaxCalendar::DoesDateHaveReport(std::time_t tTime) const
{
    return m_reportDates.contains(ToLocalDate(tTime));
}

bool CTaxCalendar::DoesDateHaveTaxOrReport(std::time_t tTime) const
{
    return DoesDateHaveTax(tTime) || DoesDateHaveReport(tTime);
}
