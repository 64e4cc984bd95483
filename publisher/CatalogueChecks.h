#pragma once

#include "PublishReport.h"

#include <libxml/tree.h>

#include <span>
#include <string>
#include <string_view>

// Checks one source catalogue against what the client's reader needs, so that
// a catalogue the client would refuse, or read only in part, is reported with
// its file and line instead of being shipped.
class CCatalogueChecker
{
public:
    CCatalogueChecker(CPublishReport& report, std::string strFile)
        : m_report(report),
          m_strFile(std::move(strFile))
    {
    }

    void Error(const xmlNode* pNode, std::string_view message);
    void Warning(const xmlNode* pNode, std::string_view message);

    // Each reports an error and returns false when the piece is missing.
    bool RequireRoot(const xmlNode* pRoot, std::string_view name);
    bool RequireAttribute(const xmlNode* pNode, std::string_view name);
    bool RequireNonEmptyAttribute(const xmlNode* pNode, std::string_view name);
    bool RequireChild(const xmlNode* pNode, std::string_view tag);
    // "day", "month" and "year" forming a real date.
    bool RequireDate(const xmlNode* pNode);

    static std::string Describe(const xmlNode* pNode);

private:
    CPublishReport& m_report;
    std::string m_strFile;
};

using CatalogueCheckFn = void (*)(const xmlNode* pRoot, CCatalogueChecker& checker);

// A catalogue of the content: its readable source, the enciphered file the
// client reads, and its checks.
struct CCatalogueSpec
{
    std::string_view m_sourceName;
    std::string_view m_targetName;
    CatalogueCheckFn m_pCheck;
};

std::span<const CCatalogueSpec> GetCatalogueSpecs();
