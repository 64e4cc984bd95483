#pragma once

#include "PublishReport.h"

#include <libxml/tree.h>

#include <map>
#include <set>
#include <string>
#include <vector>

// One page of the encyclopedia as published: its address and its plain text,
// the text the full-text index is built from.
struct CPublishedPage
{
    std::string m_strURL; // "/nds/rates.html"
    std::string m_strText;
};

// Publishes the encyclopedia: checks the section tree of encyclopedia.xml
// against the pages, stores the catalogue and every page enciphered, copies
// the pages' other files and the style sheet, and hands back the pages' text.
class CEncyclopediaPublisher
{
public:
    bool Publish(const std::string& strSource, const std::string& strContent,
                 CPublishReport& report, std::vector<CPublishedPage>& pages);

    std::size_t GetSectionCount() const { return m_nSections; }

private:
    struct CPageInfo
    {
        std::string m_strFile;                             // the source file
        std::set<std::string> m_ids;                       // ids and names of its elements
        std::vector<std::pair<std::string, long>> m_links; // href and line
        std::string m_strText;
    };

    bool ReadPages(const std::string& strPages, CPublishReport& report);
    bool ReadPage(const std::string& strFile, const std::string& strURL, CPublishReport& report);
    void CheckCatalogue(const xmlNode* pRoot, const std::string& strFile, CPublishReport& report);
    void CheckSection(const xmlNode* pNode, int nLevel, const std::string& strPageURL,
                      const std::string& strFile, CPublishReport& report);
    void CheckLinks(CPublishReport& report) const;
    bool WriteContent(const std::string& strSource, const std::string& strContent,
                      CPublishReport& report);

    std::map<std::string, CPageInfo> m_pages; // by url
    std::set<std::string> m_otherFiles;       // relative paths of the pages' other files
    std::set<std::string> m_listedURLs;
    std::map<std::string, long> m_firstLevelCodes;
    std::size_t m_nSections = 0;
};
