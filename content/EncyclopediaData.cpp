#include "EncyclopediaData.h"

#include "Cipher.h"
#include "FileUtils.h"
#include "Logger.h"
#include "QuerySnippet.h"
#include "TextUtils.h"
#include "XMLUtils.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <unordered_map>

namespace
{
// The ".dat" file of a page address, or empty when the address would lead out
// of the documents folder.
std::string EncipheredPagePath(const std::string& strDocumentsFolder, const std::string& strURL)
{
    const std::string strPage = CFileUtils::GetContentFilePath(strURL, strDocumentsFolder);
    if (strPage.size() < 4 || strURL.find("..") != std::string::npos)
        return {};
    return strPage.substr(0, strPage.size() - 4) + "dat";
}

// Drops the query part ("?x=1"), keeping an anchor that follows it.
std::string CutQuery(std::string_view address)
{
    std::string strAddress(address);
    if (const auto nQuery = strAddress.find('?'); nQuery != std::string::npos)
        strAddress.erase(nQuery, strAddress.find('#', nQuery) - nQuery);
    return std::string(CTextUtils::Trim(strAddress));
}
bool LoadSection(CEncyclopediaSection& section, xmlTextReader* pReader)
{
    if (!CXMLUtils::GetReaderAttribute(pReader, "name", section.m_strName))
    {
        KLOG_ERR << "CEncyclopediaData::LoadSection can't get section name ";
        return false;
    }
    CXMLUtils::GetReaderAttributeUINT(pReader, "id", section.m_nId);
    // Most sections have no anchor and no code, groupings no address.
    CXMLUtils::GetReaderAttribute(pReader, "url", section.m_strURL);
    CXMLUtils::GetReaderAttribute(pReader, "anchor", section.m_strAnchor);
    CXMLUtils::GetReaderAttribute(pReader, "code", section.m_strCode);
    return true;
}
// A set of pointers without an allocation for each: open addressing over a
// table kept at least twice as large as what it holds.
class CPointerSet
{
public:
    explicit CPointerSet(std::size_t nExpected)
        : m_slots(std::bit_ceil(std::max<std::size_t>(16, 2 * nExpected)), nullptr)
    {
    }

    // False when the pointer is in the set already.
    bool Insert(const void* pPointer)
    {
        if (2 * (m_nCount + 1) > m_slots.size())
            Grow();
        if (!Place(m_slots, pPointer))
            return false;
        ++m_nCount;
        return true;
    }

private:
    static bool Place(std::vector<const void*>& slots, const void* pPointer)
    {
        auto nHash = reinterpret_cast<std::uintptr_t>(pPointer);
        nHash ^= nHash >> 33;
        nHash *= 0xff51afd7ed558ccdULL;
        nHash ^= nHash >> 33;
        const std::size_t nMask = slots.size() - 1;
        for (std::size_t n = nHash & nMask;; n = (n + 1) & nMask)
        {
            if (slots[n] == pPointer)
                return false;
            if (!slots[n])
            {
                slots[n] = pPointer;
                return true;
            }
        }
    }

    void Grow()
    {
        std::vector<const void*> slots(2 * m_slots.size(), nullptr);
        for (const void* pPointer : m_slots)
            if (pPointer)
                Place(slots, pPointer);
        m_slots.swap(slots);
    }

    std::vector<const void*> m_slots;
    std::size_t m_nCount = 0;
};
} // namespace

bool CEncyclopediaData::LoadData(const std::string& strCataloguePath,
                                 const std::string& strDocumentsFolder)
{
    KTRACE("CEncyclopediaData::LoadData");
    KLOG_DEBUG << "CEncyclopediaData::LoadData filename: " << strCataloguePath;
    m_strDocumentsFolder = strDocumentsFolder;
    if (!m_pRoot)
        m_pRoot = std::make_unique<CEncyclopediaSection>();
    // The sections are built as the catalogue is read; a catalogue that
    // fails leaves the tree as it was.
    CEncyclopediaSection loaded;
    std::vector<CEncyclopediaSection*> parents{&loaded}; // by depth
    const bool bRead =
        CXMLUtils::ReadCatalogue(strCataloguePath, "Can't load encyclopedia contents",
                                 [&parents](xmlTextReader* pReader, int nDepth) {
                                     parents.resize(static_cast<std::size_t>(nDepth));
                                     CEncyclopediaSection* pParent = parents.back();
                                     auto& pSection = pParent->m_children.emplace_back(
                                         std::make_unique<CEncyclopediaSection>(pParent));
                                     parents.push_back(pSection.get());
                                     return LoadSection(*pSection, pReader);
                                 });
    if (!bRead)
        return false;
    for (auto& pSection : loaded.m_children)
    {
        pSection->m_pParent = m_pRoot.get();
        m_pRoot->m_children.push_back(std::move(pSection));
    }
    m_findMap.clear();
    BuildFindMap(m_pRoot.get());
    return true;
}

void CEncyclopediaData::FreeData()
{
    m_findMap.clear();
    m_byDocument.clear();
    m_snippetCache.clear();
    m_nSnippetCacheBytes = 0;
    m_pRoot.reset();
}

void CEncyclopediaData::BuildFindMap(CEncyclopediaSection* pSection)
{
    if (!pSection->m_strURL.empty())
        m_findMap[pSection->m_strURL] = pSection;
    if (!pSection->m_strAnchor.empty())
        if (const CEncyclopediaSection* pPage = GetParentSectionWithURL(pSection))
            m_findMap[pPage->m_strURL + "#" + pSection->m_strAnchor] = pSection;
    for (const auto& child : pSection->m_children)
        BuildFindMap(child.get());
}

CEncyclopediaSection* CEncyclopediaData::FindSectionByURL(std::string_view address) const
{
    KTRACE("CEncyclopediaData::FindSectionByURL", address);
    std::string strAddress = CutQuery(address);
    std::string strAnchor;
    if (const auto nHash = strAddress.find('#'); nHash != std::string::npos)
    {
        strAnchor = strAddress.substr(nHash + 1);
        strAddress.resize(nHash);
    }
    if (strAddress.empty())
        return nullptr;
    std::replace(strAddress.begin(), strAddress.end(), '\\', '/');
    if (strAddress.back() == '/')
    {
        strAddress.pop_back();
        strAddress += ".html";
    }
    if (strAddress.front() != '/')
        strAddress.insert(0, "/");

    const auto it = m_findMap.find(strAddress);
    if (it == m_findMap.end())
    {
        KLOG_NOTICE << "Section " << address << " not found";
        return nullptr;
    }
    if (strAnchor.empty())
        return it->second;
    if (CEncyclopediaSection* pSub = FindSubSectionByAnchor(it->second, strAnchor))
        return pSub;
    KLOG_NOTICE << "Section URL=" << address << " anchor=" << strAnchor << " not found";
    return it->second;
}

CSectionList CEncyclopediaData::FindSectionsByURLs(const std::vector<std::string>& addresses) const
{
    CSectionList sections;
    for (const auto& address : addresses)
        if (CEncyclopediaSection* pSection = FindSectionByURL(address))
            sections.push_back(pSection);
    std::sort(sections.begin(), sections.end(),
              [](const auto* a, const auto* b) { return a->m_strName < b->m_strName; });
    return sections;
}

CSectionList CEncyclopediaData::FindSectionsBySearchResult(const SearchResultSet& results) const
{
    CSectionList sections;
    sections.reserve(results.size());
    // A document found through several words of a prefix comes in several
    // records; it is listed once, where it ranks best.
    CPointerSet seen(std::min(results.size(), m_findMap.size() + 64));
    const std::size_t nRemembered = 2 * m_findMap.size() + 1024;
    for (const SearchResult& result : results)
    {
        const std::string_view path = result.path;
        const bool bRemember = !path.empty() && result.docNumber < nRemembered;
        CEncyclopediaSection* pSection = bRemember && result.docNumber < m_byDocument.size()
                                             ? m_byDocument[result.docNumber]
                                             : nullptr;
        if (!pSection)
        {
            pSection = SectionOfIndexPath(path);
            if (pSection && bRemember)
            {
                if (m_byDocument.size() <= result.docNumber)
                    m_byDocument.resize(result.docNumber + 1);
                m_byDocument[result.docNumber] = pSection;
            }
        }
        if (pSection && seen.Insert(pSection))
            sections.push_back(pSection);
    }
    return sections;
}

CEncyclopediaSection* CEncyclopediaData::SectionOfIndexPath(std::string_view path) const
{
    // The index stores a page as "content" followed by its address.
    if (path.starts_with("content"))
        path.remove_prefix(7);
    // A plain address is looked up as it stands.
    const bool bPlain = path.starts_with('/') && !path.ends_with('/') &&
                        path.find_first_of("?#\\ \t\r\n") == std::string_view::npos;
    if (const auto it = bPlain ? m_findMap.find(path) : m_findMap.end(); it != m_findMap.end())
        return it->second;
    return FindSectionByURL(path);
}

CEncyclopediaSection*
CEncyclopediaData::FindSubSectionByAnchor(const CEncyclopediaSection* pSection,
                                          std::string_view anchor)
{
    if (!pSection)
        return nullptr;
    for (const auto& child : pSection->m_children)
    {
        if (child->m_strAnchor == anchor)
            return child.get();
        if (CEncyclopediaSection* pFound = FindSubSectionByAnchor(child.get(), anchor))
            return pFound;
    }
    return nullptr;
}

int CEncyclopediaData::GetSectionLevel(const CEncyclopediaSection* pSection)
{
    int nLevel = 0;
    for (; pSection && pSection->m_pParent; pSection = pSection->m_pParent)
        ++nLevel;
    return nLevel;
}

CEncyclopediaSection* CEncyclopediaData::GetParentByLevel(CEncyclopediaSection* pSection,
                                                          int nLevel)
{
    CSectionList chain;
    for (; pSection; pSection = pSection->m_pParent)
        chain.push_back(pSection);
    if (nLevel < 0 || static_cast<std::size_t>(nLevel) >= chain.size())
    {
        KLOG_ERR << "There is no parent";
        return nullptr;
    }
    return chain[chain.size() - 1 - static_cast<std::size_t>(nLevel)];
}

CEncyclopediaSection* CEncyclopediaData::GetParentSectionWithURL(CEncyclopediaSection* pSection)
{
    for (; pSection; pSection = pSection->m_pParent)
        if (!pSection->m_strURL.empty())
            return pSection;
    return nullptr;
}

CEncyclopediaSection* CEncyclopediaData::GetFirstRealChild(CEncyclopediaSection* pSection)
{
    while (pSection && pSection->m_strURL.empty())
        pSection = pSection->m_children.empty() ? nullptr : pSection->m_children.front().get();
    return pSection;
}

CEncyclopediaSection* CEncyclopediaData::GetFirstLevelSectionItem(CEncyclopediaSection* pSection)
{
    while (pSection && pSection->m_pParent && pSection->m_pParent->m_pParent)
        pSection = pSection->m_pParent;
    return (pSection && pSection->m_pParent) ? pSection : nullptr;
}

CEncyclopediaSection* CEncyclopediaData::GetFirstLevelSectionItem(std::string_view code) const
{
    if (!m_pRoot)
        return nullptr;
    for (const auto& child : m_pRoot->m_children)
    {
        if (!child)
        {
            KLOG_WARN << "Empty section";
            continue;
        }
        if (child->m_strCode == code)
            return child.get();
    }
    return nullptr;
}

std::map<std::string, CSectionList> CEncyclopediaData::SortByCode(const CSectionList& sections)
{
    std::map<std::string, CSectionList> byCode;
    // A library has few first-level sections: each one's list is found by
    // its address rather than by comparing codes for every section.
    std::unordered_map<const CEncyclopediaSection*, CSectionList*> listOf;
    for (CEncyclopediaSection* pSection : sections)
    {
        const CEncyclopediaSection* pFirst = GetFirstLevelSectionItem(pSection);
        if (!pFirst)
        {
            KLOG_WARN << "CEncyclopediaData::SortByCode received NULL section";
            continue;
        }
        CSectionList*& pList = listOf[pFirst];
        if (!pList)
            pList = &byCode[pFirst->m_strCode];
        pList->push_back(pSection);
    }
    return byCode;
}

std::string CEncyclopediaData::GetContent(const CEncyclopediaSection* pSection) const
{
    KTRACE("CEncyclopediaData::GetContent");
    if (!pSection)
        return {};
    // The page is deciphered in memory: no plain copy ever lands on disk.
    const std::string strEnciphered = EncipheredPagePath(m_strDocumentsFolder, pSection->m_strURL);
    CByteArray bytes;
    if (strEnciphered.empty() || !CFileUtils::FileExists(strEnciphered) ||
        !CFileUtils::LoadAllBinFile(strEnciphered, bytes))
    {
        KLOG_ERR << "CEncyclopediaData::GetContent Cannot decrypt file";
        return {};
    }
    CipherBuffer(bytes.data(), bytes.size());
    CXmlDocPtr doc;
    if (!CXMLUtils::LoadHTMLDocumentContent(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), doc))
    {
        KLOG_ERR << "CEncyclopediaData::GetContent can't load file";
        return {};
    }
    return " " + CXMLUtils::GetHtmlBodyText(doc.get());
}

std::string CEncyclopediaData::GetContent(const CEncyclopediaSection* pSection,
                                          const std::vector<std::vector<std::string>>& query)
{
    if (!pSection)
        return {};
    std::string strKey = pSection->m_strURL + "|";
    for (const auto& group : query)
        for (const auto& form : group)
            strKey += "|" + form;
    if (const auto it = m_snippetCache.find(strKey); it != m_snippetCache.end())
        return it->second;
    std::string strSnippet = BuildQuerySnippet(GetContent(pSection), query);
    const std::size_t nBytes = strKey.size() + strSnippet.size();
    if (m_nSnippetCacheBytes + nBytes > kSnippetCacheBytes)
    {
        m_snippetCache.clear();
        m_nSnippetCacheBytes = 0;
    }
    if (nBytes <= kSnippetCacheBytes)
    {
        m_nSnippetCacheBytes += nBytes;
        m_snippetCache.emplace(std::move(strKey), strSnippet);
    }
    return strSnippet;
}

std::string CEncyclopediaData::GetParentDivClass(const xmlNode* pElement)
{
    const xmlNode* pParent = pElement ? pElement->parent : nullptr;
    if (!pParent || pParent->type != XML_ELEMENT_NODE ||
        !CTextUtils::EqualsNoCaseAscii(reinterpret_cast<const char*>(pParent->name), "div"))
        return {};
    std::string strClass;
    CXMLUtils::GetAttributeString(pParent, "class", strClass, "");
    return strClass;
}

bool CEncyclopediaData::ReplaceSpecialLinks(xmlNode* pElement,
                                            std::map<std::string, std::string>& samples,
                                            std::map<std::string, std::string>& downloads)
{
    if (!pElement)
        return false;
    if (pElement->type == XML_ELEMENT_NODE &&
        CTextUtils::EqualsNoCaseAscii(reinterpret_cast<const char*>(pElement->name), "a"))
    {
        const std::string strClass = GetParentDivClass(pElement);
        const bool bSample = strClass == "sample";
        if (bSample || strClass == "download")
        {
            auto& links = bSample ? samples : downloads;
            std::string strHref;
            CXMLUtils::GetAttributeString(pElement, "href", strHref, "");
            const std::string strKey =
                (bSample ? "about:SAMPLE_" : "about:DOWNLOAD_") + std::to_string(links.size());
            links[strKey] = strHref;
            CXMLUtils::SetAttributeString(pElement, "href", strKey);
        }
        return true;
    }
    for (xmlNode* pChild = pElement->children; pChild; pChild = pChild->next)
        if (pChild->type == XML_ELEMENT_NODE && !ReplaceSpecialLinks(pChild, samples, downloads))
            return false;
    return true;
}
