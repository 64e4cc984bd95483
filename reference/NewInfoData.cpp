#include "NewInfoData.h"

#include "Logger.h"
#include "XMLUtils.h"

#include <algorithm>

namespace
{
// The rewriting walk: text as text, links as numbered elements, any other
// element replaced by its content. Text is escaped again so that what was
// text in the feed stays text on the screen.
bool RewriteChildren(const xmlNode* pNode, unsigned nFirstLink, std::string& strOut,
                     std::vector<std::string>& links, int nDepth)
{
    if (nDepth > 256)
        return false;
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
    {
        if (pChild->type == XML_TEXT_NODE || pChild->type == XML_CDATA_SECTION_NODE)
        {
            strOut += CXMLUtils::EncodeForXML(reinterpret_cast<const char*>(pChild->content));
            continue;
        }
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        if (CXMLUtils::GetTagName(pChild) != "a")
        {
            if (!RewriteChildren(pChild, nFirstLink, strOut, links, nDepth + 1))
                return false;
            continue;
        }
        std::string strHref;
        if (!CXMLUtils::GetAttributeString(pChild, "href", strHref))
        {
            KLOG_ERR << "Can't get href value";
            return false;
        }
        strOut +=
            "<a id=\"ID" + std::to_string(nFirstLink + links.size()) + "\" class=\"link_in_news\">";
        links.push_back(std::move(strHref));
        if (!RewriteChildren(pChild, nFirstLink, strOut, links, nDepth + 1))
            return false;
        strOut += "</a>";
    }
    return true;
}
} // namespace

bool CNewInfoData::LoadData(const std::string& strPath)
{
    KTRACE("CNewInfoData::LoadData");
    FreeData();
    KLOG_DEBUG << "CNewInfoData::LoadData filename: " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    constexpr std::string_view kFailed = "Can't load news ";
    if (!CXMLUtils::LoadCatalogue(strPath, {{}, kFailed, {}}, doc, pRoot))
        return false;
    if (!LoadNewInfoVec(pRoot))
    {
        KLOG_ERR << kFailed;
        return false;
    }
    return true;
}

void CNewInfoData::FreeData()
{
    m_items.clear();
}

bool CNewInfoData::LoadNewInfoVec(const xmlNode* pRoot)
{
    if (!pRoot)
    {
        KLOG_ERR << "CNewInfoData::LoadNewInfoVec received null argument";
        return false;
    }
    unsigned nLinkCounter = 0;
    for (const xmlNode* pNode = pRoot->children; pNode; pNode = pNode->next)
    {
        if (pNode->type != XML_ELEMENT_NODE)
            continue;
        auto item = std::make_unique<CNewInfo>();
        if (!LoadNewInfo(*item, pNode, nLinkCounter))
            return false;
        m_items.push_back(std::move(item));
    }
    // Link numbers were given in file order; the feed is shown newest first.
    std::stable_sort(m_items.begin(), m_items.end(),
                     [](const auto& a, const auto& b) { return a->m_date > b->m_date; });
    return true;
}

bool CNewInfoData::LoadNewInfo(CNewInfo& item, const xmlNode* pNode, unsigned& nLinkCounter)
{
    int nDay = 0, nMonth = 0, nYear = 0;
    if (!CXMLUtils::GetDayInfo(pNode, nDay, nMonth, nYear))
        return false;
    item.m_date = {static_cast<unsigned>(nYear), static_cast<unsigned>(nMonth),
                   static_cast<unsigned>(nDay)};
    const std::string strText = CXMLUtils::GetText(pNode);
    item.m_nFirstLink = nLinkCounter;
    if (!ProcessHTML(strText, nLinkCounter, item.m_strBody, item.m_links))
    {
        // A body that cannot be rewritten is shown as it was written.
        item.m_strBody = strText;
        item.m_links.clear();
    }
    nLinkCounter += static_cast<unsigned>(item.m_links.size());
    return true;
}

bool CNewInfoData::ProcessHTML(const std::string& strText, unsigned nFirstLink,
                               std::string& strBody, std::vector<std::string>& links)
{
    strBody.clear();
    links.clear();
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    if (!CXMLUtils::LoadXmlDocumentContent("<body>" + strText + "</body>", doc, pRoot, true))
    {
        KLOG_WARN << "Can't load news body";
        return false;
    }
    if (!RewriteChildren(pRoot, nFirstLink, strBody, links, 0))
    {
        KLOG_WARN << "Can't processnews body";
        strBody.clear();
        links.clear();
        return false;
    }
    return true;
}

const std::string* CNewInfoData::FindLink(unsigned nLink) const
{
    for (const auto& item : m_items)
        if (nLink >= item->m_nFirstLink && nLink - item->m_nFirstLink < item->m_links.size())
            return &item->m_links[nLink - item->m_nFirstLink];
    return nullptr;
}
