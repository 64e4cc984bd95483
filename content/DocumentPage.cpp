#include "DocumentPage.h"

#include "Cipher.h"
#include "EncyclopediaData.h"
#include "FileUtils.h"
#include "HtmlCleaner.h"
#include "Logger.h"
#include "MemoryPolicy.h"
#include "StringTable.h"
#include "TextUtils.h"

#include <algorithm>
#include <array>
#include <filesystem>

namespace
{
std::string_view Name(const xmlNode* pNode)
{
    return pNode && pNode->name ? std::string_view(reinterpret_cast<const char*>(pNode->name))
                                : std::string_view();
}

std::string Slashes(std::string_view path)
{
    std::string strPath(path);
    std::replace(strPath.begin(), strPath.end(), '\\', '/');
    return strPath;
}

bool IsTag(const xmlNode* pNode, std::string_view tag)
{
    return pNode && pNode->type == XML_ELEMENT_NODE &&
           CTextUtils::EqualsNoCaseAscii(Name(pNode), tag);
}

std::string Attribute(const xmlNode* pNode, const char* szName)
{
    std::string strValue;
    CXMLUtils::GetAttributeString(pNode, szName, strValue, "");
    return strValue;
}

bool HasClass(const xmlNode* pElement, std::string_view name)
{
    const std::string strClass = Attribute(pElement, "class");
    std::size_t nPos = 0;
    while (nPos < strClass.size())
    {
        const std::size_t nEnd = std::min(strClass.find(' ', nPos), strClass.size());
        if (std::string_view(strClass).substr(nPos, nEnd - nPos) == name)
            return true;
        nPos = nEnd + 1;
    }
    return false;
}

xmlNode* FindElement(xmlNode* pNode, std::string_view tag)
{
    for (; pNode; pNode = pNode->next)
    {
        if (IsTag(pNode, tag))
            return pNode;
        if (xmlNode* pFound = FindElement(pNode->children, tag))
            return pFound;
    }
    return nullptr;
}

// The page's encoding, the client's style sheet, and the note under a page
// that was cut.
void AddClientParts(xmlDoc* pDoc, bool bCut)
{
    xmlNode* pRoot = xmlDocGetRootElement(pDoc);
    xmlNode* pHead = FindElement(pRoot, "head");
    if (!pHead && IsTag(pRoot, "html"))
    {
        pHead = xmlNewNode(nullptr, BAD_CAST "head");
        if (pRoot->children)
            xmlAddPrevSibling(pRoot->children, pHead);
        else
            xmlAddChild(pRoot, pHead);
    }
    if (!pHead)
        return;
    xmlNode* pCharset = xmlNewNode(nullptr, BAD_CAST "meta");
    xmlSetProp(pCharset, BAD_CAST "charset", BAD_CAST "utf-8");
    if (pHead->children)
        xmlAddPrevSibling(pHead->children, pCharset);
    else
        xmlAddChild(pHead, pCharset);
    xmlNode* pLink = xmlNewNode(nullptr, BAD_CAST "link");
    xmlSetProp(pLink, BAD_CAST "rel", BAD_CAST "stylesheet");
    xmlSetProp(pLink, BAD_CAST "href", BAD_CAST CDocumentPage::kClientStyleSheet);
    xmlAddChild(pHead, pLink);
    xmlNode* pBody = bCut ? FindElement(pRoot, "body") : nullptr;
    if (!pBody)
        return;
    xmlNode* pNote = xmlNewNode(nullptr, BAD_CAST "p");
    xmlSetProp(pNote, BAD_CAST "id", BAD_CAST CDocumentPage::kCutNoteId);
    xmlSetProp(pNote, BAD_CAST "style",
               BAD_CAST "border:1px solid #c00;padding:8px;color:#c00;font-weight:bold");
    xmlNodeSetContent(pNote, BAD_CAST CDocumentPage::kCutNote);
    xmlAddChild(pBody, pNote);
}

// "/a/./b/../c" -> "/a/c"; ".." above the top is dropped (the paths here
// are rooted).
std::string NormalisePath(std::string_view path)
{
    std::string strPath(path);
    if (!strPath.starts_with('/'))
        strPath.insert(0, "/");
    return std::filesystem::path(strPath).lexically_normal().generic_string();
}
} // namespace

bool CDocumentPage::Load(const std::string& strDocumentsFolder, std::string_view url)
{
    KTRACE("CDocumentPage::Load");
    const std::string strUrl = NormalisePath(Slashes(url));
    if (strUrl.size() < 6 ||
        !CTextUtils::EqualsNoCaseAscii(std::string_view(strUrl).substr(strUrl.size() - 5), ".html"))
    {
        KLOG_ERR << "CDocumentPage::Load not a page: " << url;
        return false;
    }
    const std::string strPath = CFileUtils::GetContentFilePath(
        strUrl.substr(0, strUrl.size() - 4) + "dat", strDocumentsFolder);
    CByteArray bytes;
    if (!CFileUtils::LoadAllBinFile(strPath, bytes))
    {
        KLOG_ERR << "OnBeforeNavigate2: Cannot decrypt file " << strPath;
        return false;
    }
    CipherBuffer(bytes.data(), bytes.size());
    return LoadHtml(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                    strUrl);
}

CDocumentPage::~CDocumentPage()
{
    Release();
}

void CDocumentPage::Release()
{
    m_doc.reset();
    // A big page's tree lies in many small blocks that the allocator keeps
    // for itself unless asked to give them back.
    if (m_nSourceBytes >= kTrimAfterBytes)
        CMemoryPolicy::ReleaseFreed();
    m_nSourceBytes = 0;
}

void CDocumentPage::ReleaseIfLarge()
{
    if (m_doc && m_nSourceBytes >= kTrimAfterBytes)
    {
        KLOG_NOTICE << "CDocumentPage::ReleaseIfLarge lets " << m_strUrl << " go";
        Release();
    }
}

bool CDocumentPage::LoadHtml(std::string_view html, std::string_view url)
{
    Release();
    m_links.clear();
    m_samples.clear();
    m_downloads.clear();
    m_strUrl = url;
    m_bCut = false;
    m_nSourceBytes = html.size();
    if (html.size() > kMaxPageBytes)
    {
        // Cut before a tag so that no element is split; the rest of the page
        // is not shown.
        std::size_t nCut = html.rfind('<', kMaxPageBytes);
        if (nCut == std::string_view::npos || nCut == 0)
            for (nCut = kMaxPageBytes;
                 nCut > 0 && (static_cast<unsigned char>(html[nCut]) & 0xC0) == 0x80;)
                --nCut;
        KLOG_WARN << "CDocumentPage::LoadHtml " << url << " has " << html.size()
                  << " bytes, shown up to " << nCut;
        html = html.substr(0, nCut);
        m_bCut = true;
    }
    m_doc = CHtmlCleaner::CleanDocument(html);
    if (!m_doc || !xmlDocGetRootElement(m_doc.get()))
    {
        KLOG_ERR << "CDocumentPage::LoadHtml can't parse " << url;
        m_doc.reset();
        return false;
    }
    xmlNode* pRoot = xmlDocGetRootElement(m_doc.get());
    CEncyclopediaData::ReplaceSpecialLinks(pRoot, m_samples, m_downloads);
    CollectLinks(pRoot, false);
    AddClientParts(m_doc.get(), m_bCut);
    return true;
}

void CDocumentPage::CollectLinks(const xmlNode* pNode, bool bSeeAlso)
{
    for (const xmlNode* pChild = pNode; pChild; pChild = pChild->next)
    {
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        const bool bInSeeAlso = bSeeAlso || (IsTag(pChild, "div") && HasClass(pChild, "see_also"));
        if ((IsTag(pChild, "a") || IsTag(pChild, "area")) &&
            CXMLUtils::HasAttribute(pChild, "href"))
        {
            CDocumentLink link;
            link.m_strHref = Attribute(pChild, "href");
            link.m_strTarget = ResolveLink(m_strUrl, link.m_strHref);
            link.m_strText = std::string(CTextUtils::Trim(CXMLUtils::GetText(pChild)));
            link.m_bSeeAlso = bInSeeAlso;
            m_links.push_back(std::move(link));
        }
        CollectLinks(pChild->children, bInSeeAlso);
    }
}

std::string CDocumentPage::GetSafeHtml() const
{
    return CHtmlCleaner::SerializeDocument(m_doc.get());
}

std::string CDocumentPage::CleanSelection(std::string_view html)
{
    return CHtmlCleaner::CleanFragment(html);
}

std::string CDocumentPage::GetText(std::size_t nMaxLength, bool bWithoutTitle) const
{
    std::string strText = CXMLUtils::GetHtmlBodyText(m_doc.get());
    if (const xmlNode* pTitle =
            bWithoutTitle ? FindElement(xmlDocGetRootElement(m_doc.get()), "h1") : nullptr)
    {
        const std::string strTitle(CTextUtils::Trim(CXMLUtils::GetText(pTitle)));
        const std::string_view trimmed = CTextUtils::Trim(strText);
        if (!strTitle.empty() && trimmed.starts_with(strTitle))
            strText = std::string(trimmed.substr(strTitle.size()));
    }
    std::string collapsed;
    bool bBlank = true;
    for (const char c : strText)
    {
        const bool bSpace = c == ' ' || c == '\n' || c == '\r' || c == '\t';
        if (bSpace && !bBlank)
            collapsed += ' ';
        else if (!bSpace)
            collapsed += c;
        bBlank = bSpace;
    }
    while (!collapsed.empty() && collapsed.back() == ' ')
        collapsed.pop_back();
    if (collapsed.size() <= nMaxLength)
        return collapsed;
    std::size_t nCut = collapsed.rfind(' ', nMaxLength);
    if (nCut == std::string::npos || nCut == 0)
    {
        // No blank: cut before a UTF-8 continuation byte never splits a letter.
        nCut = nMaxLength;
        while (nCut > 0 && (static_cast<unsigned char>(collapsed[nCut]) & 0xC0) == 0x80)
            --nCut;
    }
    return collapsed.substr(0, nCut) + "...";
}

std::map<std::string, std::string>
CDocumentPage::GetTextByAnchor(const std::set<std::string>& anchors) const
{
    std::map<std::string, std::string> parts;
    std::string* pPart = &parts[""];
    // Depth first, in document order, without recursion.
    std::vector<const xmlNode*> stack;
    if (m_doc)
        if (const xmlNode* pBody = FindElement(xmlDocGetRootElement(m_doc.get()), "body"))
            stack.push_back(pBody);
    while (!stack.empty())
    {
        const xmlNode* pNode = stack.back();
        stack.pop_back();
        if (pNode->type == XML_TEXT_NODE && pNode->content)
        {
            *pPart += reinterpret_cast<const char*>(pNode->content);
            *pPart += ' ';
            continue;
        }
        if (pNode->type != XML_ELEMENT_NODE || IsTag(pNode, "style"))
            continue;
        const std::string strId = Attribute(pNode, "id");
        if (!strId.empty() && anchors.count(strId))
            pPart = &parts[strId];
        std::vector<const xmlNode*> children;
        for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
            children.push_back(pChild);
        stack.insert(stack.end(), children.rbegin(), children.rend());
    }
    return parts;
}

std::string CDocumentPage::ResolveLink(std::string_view pageUrl, std::string_view href)
{
    const std::string_view trimmed = CTextUtils::Trim(href);
    if (trimmed.empty())
        return std::string(pageUrl);
    // A scheme ("http:", "mailto:", "about:") names its own address.
    const auto nColon = trimmed.find(':');
    if (nColon != std::string_view::npos && trimmed.find_first_of("/?#") > nColon)
        return std::string(trimmed);
    std::string strPath = Slashes(trimmed);
    std::string strSuffix;
    if (const auto nMark = strPath.find_first_of("?#"); nMark != std::string::npos)
    {
        // The query means nothing to a content page; the anchor stays.
        const auto nHash = strPath.find('#', nMark);
        strSuffix = nHash == std::string::npos ? "" : strPath.substr(nHash);
        strPath.erase(nMark);
    }
    if (strPath.empty())
        return std::string(pageUrl.substr(0, pageUrl.find('#'))) + strSuffix;
    if (!strPath.starts_with('/'))
    {
        const std::string_view page = pageUrl.substr(0, pageUrl.find('#'));
        strPath = std::string(page.substr(0, page.rfind('/') + 1)) + strPath;
    }
    return NormalisePath(strPath) + strSuffix;
}
