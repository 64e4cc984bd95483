#pragma once

#include "DateUtils.h"

#include <libxml/tree.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

// One form of the forms library.
struct CBlankInfo
{
    CDate m_date;
    std::string m_strName;
    std::vector<std::string> m_images; // page image addresses, in file order
    std::string m_strUploadURL;        // the form's document on the service's site
    std::string m_strInstructionURL;   // its filling instructions
    std::string m_strSiteURL;          // its page on the service's site
    std::string m_strApproval;
    std::string m_strUsed;
};

struct CBlankSection
{
    std::string m_strName;
    std::string m_strCode;
    std::vector<std::unique_ptr<CBlankInfo>> m_blanks;
};

// The forms library catalogue ("blanks.dat", enciphered XML): sections of
// forms in display order, with two lookups built on first use.
class CBlankInfoData
{
public:
    bool LoadData(const std::string& strPath);
    void FreeData();

    const std::vector<std::unique_ptr<CBlankSection>>& GetSections() const { return m_sections; }
    // Site address -> form; the later of two forms with one address wins.
    const std::map<std::string, const CBlankInfo*>& GetBlankInfoMap();
    // Every form, newest first.
    const std::vector<const CBlankInfo*>& GetBlankNews();
    const CBlankInfo* FindBlankByUploadURL(const std::string& strURL) const;

private:
    bool LoadBlankSectionVec(const xmlNode* pRoot);
    bool LoadBlankSection(CBlankSection& section, const xmlNode* pNode);
    bool LoadBlankInfoVec(CBlankSection& section, const xmlNode* pNode);
    bool LoadBlankInfo(CBlankInfo& blank, const xmlNode* pNode);

    std::vector<std::unique_ptr<CBlankSection>> m_sections;
    std::map<std::string, const CBlankInfo*> m_blankMap;
    std::vector<const CBlankInfo*> m_blankNews;
};
