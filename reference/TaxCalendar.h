#pragma once

#include "DateUtils.h"

#include <libxml/tree.h>

#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

struct CTaxEntry
{
    std::string m_strName;
    std::string m_strPayer;
    std::string m_strBudget;
    std::string m_strPaymentEntry;
    std::string m_strGroup;
};

struct CReportEntry
{
    std::string m_strReporter;
    std::string m_strKind;
    std::string m_strForm;
    std::string m_strGroup;
};

// The tax calendar ("tax_calendar.dat", enciphered XML with the root
// "payments"): which taxes fall due and which reports are filed on each day.
class CTaxCalendar
{
public:
    bool LoadData(const std::string& strPath);
    void FreeData();

    // Lists of the local calendar date of a time value; empty when none.
    const std::vector<CTaxEntry>& GetTaxes(std::time_t tTime) const;
    const std::vector<CReportEntry>& GetReports(std::time_t tTime) const;
    bool DoesDateHaveTax(std::time_t tTime) const;
    bool DoesDateHaveReport(std::time_t tTime) const;
    bool DoesDateHaveTaxOrReport(std::time_t tTime) const;

    const std::set<CDate>& GetTaxDates() const { return m_taxDates; }
    const std::set<CDate>& GetReportDates() const { return m_reportDates; }

private:
    void LoadXml(const xmlNode* pRoot);

    std::set<CDate> m_taxDates;
    std::map<CDate, std::vector<CTaxEntry>> m_taxes;
    std::set<CDate> m_reportDates;
    std::map<CDate, std::vector<CReportEntry>> m_reports;
};
