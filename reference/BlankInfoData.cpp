#include "BlankInfoData.h"

#include "Logger.h"
#include "XMLUtils.h"

#include <algorithm>

namespace
{
bool IsElement(const xmlNode* pNode)
{
    return pNode && pNode->type == XML_ELEMENT_NODE;
}
} // namespace

bool CBlankInfoData::LoadData(const std::string& strPath)
{
    KTRACE("CBlankInfoData::LoadData");
    FreeData();
    KLOG_DEBUG << "CBlankInfoData::LoadData filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    // The forms loader has always reported its failures with the news' text.
    constexpr std::string_view kFailed = "Can't load news ";
    if (!CXMLUtils::LoadCatalogue(strPath, {{}, kFailed, {}}, doc, pRoot))
        return false;
    if (!LoadBlankSectionVec(pRoot))
    {
        KLOG_ERR << kFailed;
        return false;
    }
    return true;
}

void CBlankInfoData::FreeData()
{
    m_blankMap.clear();
    m_blankNews.clear();
    m_sections.clear();
}

bool CBlankInfoData::LoadBlankSectionVec(const xmlNode* pRoot)
{
    if (!pRoot)
    {
        KLOG_ERR << "CBlankInfoData::LoadBlankSectionVec received null argument";
        return false;
    }
    for (const xmlNode* pNode = pRoot->children; pNode; pNode = pNode->next)
    {
        if (!IsElement(pNode))
            continue;
        auto section = std::make_unique<CBlankSection>();
        if (!LoadBlankSection(*section, pNode))
            return false;
        m_sections.push_back(std::move(section));
    }
    return true;
}

bool CBlankInfoData::LoadBlankSection(CBlankSection& section, const xmlNode* pNode)
{
    if (!pNode)
    {
        KLOG_ERR << "CBlankInfoData::LoadBlankSection received null argument";
        return false;
    }
    return CXMLUtils::GetAttributeString(pNode, "name", section.m_strName) &&
           CXMLUtils::GetAttributeString(pNode, "code", section.m_strCode) &&
           LoadBlankInfoVec(section, pNode);
}

bool CBlankInfoData::LoadBlankInfoVec(CBlankSection& section, const xmlNode* pNode)
{
    if (!pNode)
    {
        KLOG_ERR << "CBlankInfoData::LoadBlankInfoVec received null argument";
        return false;
    }
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
    {
        if (!IsElement(pChild))
            continue;
        auto blank = std::make_unique<CBlankInfo>();
        if (!LoadBlankInfo(*blank, pChild))
            return false;
        section.m_blanks.push_back(std::move(blank));
    }
    return true;
}

bool CBlankInfoData::LoadBlankInfo(CBlankInfo& blank, const xmlNode* pNode)
{
    int nDay = 0, nMonth = 0, nYear = 0;
    if (!CXMLUtils::GetDayInfo(pNode, nDay, nMonth, nYear))
        return false;
    blank.m_date = {static_cast<unsigned>(nYear), static_cast<unsigned>(nMonth),
                    static_cast<unsigned>(nDay)};
    if (!CXMLUtils::GetAttributeString(pNode, "name", blank.m_strName) ||
        !CXMLUtils::GetAttributeString(pNode, "upload_url", blank.m_strUploadURL) ||
        !CXMLUtils::GetAttributeString(pNode, "instruction_url", blank.m_strInstructionURL) ||
        !CXMLUtils::GetAttributeString(pNode, "site_url", blank.m_strSiteURL) ||
        !CXMLUtils::GetSubElementString(pNode, "approval", blank.m_strApproval) ||
        !CXMLUtils::GetSubElementString(pNode, "used", blank.m_strUsed))
        return false;
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
    {
        if (!IsElement(pChild) || CXMLUtils::GetTagName(pChild) != "image")
            continue;
        std::string strURL;
        if (!CXMLUtils::GetAttributeString(pChild, "url", strURL))
        {
            KLOG_ERR << "CBlankInfoData::LoadBlankInfo can't get node attribute";
            return false;
        }
        blank.m_images.push_back(std::move(strURL));
    }
    return true;
}

const std::map<std::string, const CBlankInfo*>& CBlankInfoData::GetBlankInfoMap()
{
    if (m_blankMap.empty())
        for (const auto& section : m_sections)
            for (const auto& blank : section->m_blanks)
                m_blankMap[blank->m_strSiteURL] = blank.get();
    return m_blankMap;
}

const std::vector<const CBlankInfo*>& CBlankInfoData::GetBlankNews()
{
    if (m_blankNews.empty())
    {
        for (const auto& section : m_sections)
            for (const auto& blank : section->m_blanks)
                m_blankNews.push_back(blank.get());
        std::stable_sort(
            m_blankNews.begin(), m_blankNews.end(),
            [](const CBlankInfo* a, const CBlankInfo* b) { return a->m_date > b->m_date; });
    }
    return m_blankNews;
}

const CBlankInfo* CBlankInfoData::FindBlankByUploadURL(const std::string& strURL) const
{
    for (const auto& section : m_sections)
        for (const auto& blank : section->m_blanks)
            if (blank->m_strUploadURL == strURL)
                return blank.get();
    return nullptr;
}
