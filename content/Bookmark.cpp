#include "Bookmark.h"

#include "BlankInfoData.h"
#include "FileUtils.h"
#include "Logger.h"
#include "XMLUtils.h"

#include <charconv>

namespace
{
// A whole decimal number, optionally signed.
bool ParseInt(const std::string& strText, int& nValue)
{
    const char* pEnd = strText.data() + strText.size();
    const auto result = std::from_chars(strText.data(), pEnd, nValue);
    return result.ec == std::errc() && result.ptr == pEnd && !strText.empty();
}
} // namespace

CBookmark CBookmark::ForSection(CEncyclopediaSection* pSection)
{
    CBookmark bookmark(VIEW_SECTION);
    bookmark.m_pSection = pSection;
    if (pSection)
        bookmark.m_strText = pSection->m_strName;
    return bookmark;
}

CBookmark CBookmark::ForSections(CSectionList sections, std::string strSearchString)
{
    CBookmark bookmark(VIEW_SECTION);
    bookmark.m_pSection = sections.size() == 1 ? sections.front() : nullptr;
    bookmark.m_sections = std::move(sections);
    bookmark.m_strSearchString = std::move(strSearchString);
    return bookmark;
}

CBookmark CBookmark::ForSearchResults(std::map<std::string, CSectionList> sectionsByCode,
                                      std::set<std::string> highlightWords)
{
    CBookmark bookmark(VIEW_SEARCH_RESULTS);
    bookmark.m_sectionsByCode = std::move(sectionsByCode);
    bookmark.m_highlightWords = std::move(highlightWords);
    return bookmark;
}

CBookmark CBookmark::ForTaxCalendar(const CDate& date)
{
    CBookmark bookmark(VIEW_TAX_CALENDAR);
    bookmark.m_date = date;
    return bookmark;
}

CBookmark CBookmark::ForForm(const CBlankInfo* pBlank)
{
    CBookmark bookmark(VIEW_FORM);
    bookmark.m_pBlank = pBlank;
    if (pBlank)
        bookmark.m_strText = pBlank->m_strName;
    return bookmark;
}

bool CBookmark::IsCopyOf(const CBookmark& other) const
{
    return m_nType == other.m_nType && m_pSection == other.m_pSection &&
           m_nParam1 == other.m_nParam1 && m_nParam2 == other.m_nParam2 &&
           m_nViewNumber == other.m_nViewNumber && m_sectionsByCode == other.m_sectionsByCode &&
           (m_nType != VIEW_TAX_CALENDAR || m_date == other.m_date) && m_pBlank == other.m_pBlank &&
           m_strPage == other.m_strPage;
}

bool CBookmark::LoadBookmarkData(const xmlNode* pElement, const CEncyclopediaData& encyclopedia,
                                 CBlankInfoData* pBlanks)
{
    std::string strText;
    if (!CXMLUtils::HasAttribute(pElement, "type") ||
        !CXMLUtils::GetAttributeString(pElement, "type", strText) || !ParseInt(strText, m_nType))
        return false;
    if (m_nType == VIEW_SECTION)
    {
        std::string strURL;
        if (!CXMLUtils::GetAttributeString(pElement, "url", strURL))
            return false;
        m_pSection = encyclopedia.FindSectionByURL(strURL);
        if (!m_pSection)
        {
            KLOG_ERR << "Can' load bookmark with url=" << strURL;
            return false;
        }
        m_strText = m_pSection->m_strName;
        if (!CXMLUtils::GetAttributeString(pElement, "annotation", m_strAnnotation))
            return false;
        int nImportant = 0;
        std::string strImportant;
        CXMLUtils::GetAttributeString(pElement, "important", strImportant, "");
        m_bImportant = ParseInt(strImportant, nImportant) && nImportant != 0;
        CXMLUtils::GetAttributeString(pElement, "page", m_strPage, "");
        return true;
    }
    if (m_nType == VIEW_FORM)
    {
        std::string strURL;
        if (!CXMLUtils::GetAttributeString(pElement, "url", strURL) || !pBlanks)
            return false;
        const auto& blanks = pBlanks->GetBlankInfoMap();
        const auto it = blanks.find(strURL);
        if (it == blanks.end())
            return false;
        m_pBlank = it->second;
        m_strText = m_pBlank->m_strName;
        return true;
    }
    return true;
}

bool CBookmark::SaveBookmarkData(xmlNode* pElement) const
{
    if (!CXMLUtils::SetAttributeString(pElement, "type", std::to_string(m_nType)))
        return false;
    if (m_nType == VIEW_SECTION)
    {
        if (!m_pSection)
        {
            KLOG_ERR << "Can't save bookmark on NULL section";
            return false;
        }
        const CEncyclopediaSection* pPage = CEncyclopediaData::GetParentSectionWithURL(m_pSection);
        if (!pPage)
        {
            KLOG_ERR << "Can't save bookmark (invalid section) ";
            return false;
        }
        std::string strURL = pPage->m_strURL;
        if (!m_pSection->m_strAnchor.empty())
            strURL += "#" + m_pSection->m_strAnchor;
        return CXMLUtils::SetAttributeString(pElement, "url", strURL) &&
               CXMLUtils::SetAttributeString(pElement, "annotation", m_strAnnotation) &&
               CXMLUtils::SetAttributeString(pElement, "important", m_bImportant ? "1" : "0") &&
               (m_strPage.empty() || CXMLUtils::SetAttributeString(pElement, "page", m_strPage));
    }
    if (m_nType == VIEW_FORM)
        return m_pBlank && CXMLUtils::SetAttributeString(pElement, "url", m_pBlank->m_strSiteURL);
    return true;
}

bool CBookmarkVector::LoadData(const std::string& strPath, const CEncyclopediaData& encyclopedia,
                               CBlankInfoData* pBlanks)
{
    KTRACE("CBookmarkVector::LoadData");
    KLOG_NOTICE << "Load bookmarks from " << strPath;
    CXmlDocPtr doc;
    xmlNode* pRoot = nullptr;
    bool bDamaged = false;
    const bool bRead = CXMLUtils::LoadUserXmlDocument(strPath, doc, pRoot, bDamaged);
    if (bRead)
    {
        if (CXMLUtils::GetTagName(pRoot) != "bookmarks")
            bDamaged = true;
        for (const xmlNode* pNode = pRoot->children; pNode; pNode = pNode->next)
        {
            if (pNode->type != XML_ELEMENT_NODE)
                continue;
            auto pBookmark = std::make_unique<CBookmark>();
            if (!pBookmark->LoadBookmarkData(pNode, encyclopedia, pBlanks))
            {
                KLOG_ERR << "Can't load bookmark data";
                bDamaged = true;
                continue;
            }
            m_bookmarks.push_back(std::move(pBookmark));
        }
    }
    if (bDamaged || (!bRead && CFileUtils::FileExists(strPath)))
    {
        const std::string strCopy = CFileUtils::KeepCopyAside(strPath);
        KLOG_WARN << "CBookmarkVector::LoadData: " << strPath
                  << " could not be read whole; it is kept as " << strCopy;
    }
    if (!bRead)
        KLOG_ERR << "CBookmarkVector::LoadData can't load " << strPath;
    return bRead;
}

bool CBookmarkVector::SaveData(const std::string& strPath) const
{
    KTRACE("CBookmarkVector::SaveData");
    KLOG_NOTICE << "Save bookmarks to " << strPath;
    CXmlDocPtr doc;
    if (!CXMLUtils::CreateXmlDocument("bookmarks", doc))
        return false;
    xmlNode* pRoot = xmlDocGetRootElement(doc.get());
    for (const auto& pBookmark : m_bookmarks)
    {
        if (pBookmark->m_nType != CBookmark::VIEW_SECTION &&
            pBookmark->m_nType != CBookmark::VIEW_FORM)
            continue;
        xmlNode* pNode =
            xmlNewChild(pRoot, nullptr, reinterpret_cast<const xmlChar*>("bookmark"), nullptr);
        if (!pNode || !pBookmark->SaveBookmarkData(pNode))
            return false;
    }
    return CXMLUtils::SaveXmlDocument(doc.get(), strPath);
}

bool CBookmarkVector::IsContainsCopy(const CBookmark& bookmark) const
{
    for (const auto& pItem : m_bookmarks)
        if (pItem->IsCopyOf(bookmark))
            return true;
    return false;
}

void CBookmarkVector::RemoveAt(std::size_t nIndex)
{
    if (nIndex < m_bookmarks.size())
        m_bookmarks.erase(m_bookmarks.begin() + static_cast<std::ptrdiff_t>(nIndex));
}
