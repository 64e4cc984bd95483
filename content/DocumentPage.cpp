#include "DocumentPage.h"

#include "Cipher.h"
#include "EncyclopediaData.h"
#include "FileUtils.h"
#include "Logger.h"
#include "StringTable.h"
#include "TextUtils.h"

#include <libxml/HTMLtree.h>
#include <libxml/xmlIO.h>

#include <algorithm>
#include <filesystem>
#include <array>

namespace
{
std::string_view Name(const xmlNode* pNode)
{
    return pNode && pNode->name ? std::string_view(reinterpret_cast<const char*>(pNode->name)) : std::string_view();
}

std::string Slashes(std::string_view path)
{
    std::string strPath(path);
    std::replace(strPath.begin(), strPath.end(), '\\', '/');
    return strPath;
}

bool IsTag(const xmlNode* pNode, std::string_view tag)
{
    return pNode && pNode->type == XML_ELEMENT_NODE && CTextUtils::EqualsNoCaseAscii(Name(pNode), tag);
}

std::string Attribute(const xmlNode* pNode, const char* szName)
{
    std::string strValue;
    CXMLUtils::GetAttributeString(pNode, szName, strValue, "");
    return strValue;
}

// Elements that embed other documents or programs: they go, but what they
// hold (their fallback text, or the rest of a page that a parser nested into
// an unclosed one) stays.
bool IsUnwrappedElement(const xmlNode* pNode)
{
    static constexpr std::array<std::string_view, 6> kUnwrapped{"iframe", "object", "embed",
                                                               "applet", "frameset", "portal"};
    for (const std::string_view tag : kUnwrapped)
        if (IsTag(pNode, tag))
            return true;
    return false;
}

// Elements that run code or change how the page is addressed: they are
// dropped with everything inside them.
bool IsDroppedElement(const xmlNode* pNode)
{
    static constexpr std::array<std::string_view, 4> kDropped{"script", "frame", "base", "noembed"};
    for (const std::string_view tag : kDropped)
        if (IsTag(pNode, tag))
            return true;
    if (IsTag(pNode, "meta"))
        return CXMLUtils::HasAttribute(pNode, "http-equiv");
    if (IsTag(pNode, "link"))
    {
        // Only style sheets of the content itself.
        const std::string strRel = CTextUtils::ToLower(Attribute(pNode, "rel"));
        return strRel != "stylesheet";
    }
    return false;
}

// The address with blanks and control characters taken out, lower case: how a
// browser reads the scheme of "jav&#x09;ascript:".
std::string SchemeProbe(std::string_view value)
{
    std::string probe;
    for (const char c : value)
        if (static_cast<unsigned char>(c) > 0x20)
            probe += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return probe;
}

bool IsScriptAddress(std::string_view value)
{
    const std::string probe = SchemeProbe(value);
    return probe.starts_with("javascript:") || probe.starts_with("vbscript:") || probe.starts_with("data:");
}

// An address that a browser would fetch from another host.
bool IsRemoteAddress(std::string_view value)
{
    const std::string probe = SchemeProbe(value);
    if (probe.starts_with("//") || probe.starts_with("\\\\"))
        return true;
    const auto nColon = probe.find(':');
    const auto nSlash = probe.find_first_of("/?#");
    return nColon != std::string::npos && (nSlash == std::string::npos || nColon < nSlash);
}

bool IsAddressAttribute(std::string_view name)
{
    static constexpr std::array<std::string_view, 12> kAddress{"href",       "src",    "action", "formaction",
                                                               "background", "poster", "srcset", "lowsrc",
                                                               "dynsrc",     "data",   "ping",   "xlink:href"};
    for (const std::string_view attribute : kAddress)
        if (CTextUtils::EqualsNoCaseAscii(name, attribute))
            return true;
    return false;
}

// Attributes that would run code, navigate, or load from elsewhere.
bool IsDroppedAttribute(const xmlNode* pElement, const xmlAttr* pAttribute)
{
    const std::string_view name = Name(reinterpret_cast<const xmlNode*>(pAttribute));
    if (CTextUtils::StartsWithNoCaseAscii(name, "on") || CTextUtils::EqualsNoCaseAscii(name, "srcdoc") ||
        CTextUtils::EqualsNoCaseAscii(name, "target") || CTextUtils::EqualsNoCaseAscii(name, "formtarget") ||
        CTextUtils::EqualsNoCaseAscii(name, "http-equiv"))
        return true;
    xmlChar* pValue = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(pAttribute));
    const std::string value = pValue ? reinterpret_cast<const char*>(pValue) : "";
    xmlFree(pValue);
    // Whatever the attribute (SVG animations set addresses through values).
    const std::string probe = SchemeProbe(value);
    if (probe.starts_with("javascript:") || probe.starts_with("vbscript:"))
        return true;
    if (!IsAddressAttribute(name))
        return false;
    if (IsScriptAddress(value))
        return true;
    // A link may lead anywhere (the client decides what a click does); what
    // the browser loads by itself comes from the client only.
    const bool bLink = IsTag(pElement, "a") || IsTag(pElement, "area");
    return !(bLink && CTextUtils::EqualsNoCaseAscii(name, "href")) && IsRemoteAddress(value);
}

void DropAttributes(xmlNode* pElement)
{
    for (xmlAttr* pAttribute = pElement->properties; pAttribute;)
    {
        xmlAttr* pNext = pAttribute->next;
        if (IsDroppedAttribute(pElement, pAttribute))
            xmlRemoveProp(pAttribute);
        pAttribute = pNext;
    }
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

void AddClientStyleSheet(xmlDoc* pDoc)
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
    xmlNode* pLink = xmlNewNode(nullptr, BAD_CAST "link");
    xmlSetProp(pLink, BAD_CAST "rel", BAD_CAST "stylesheet");
    xmlSetProp(pLink, BAD_CAST "href", BAD_CAST CDocumentPage::kClientStyleSheet);
    xmlAddChild(pHead, pLink);
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
    if (strUrl.size() < 6 || !CTextUtils::EqualsNoCaseAscii(std::string_view(strUrl).substr(strUrl.size() - 5), ".html"))
    {
        KLOG_ERR << "CDocumentPage::Load not a page: " << url;
        return false;
    }
    const std::string strPath =
        CFileUtils::GetContentFilePath(strUrl.substr(0, strUrl.size() - 4) + "dat", strDocumentsFolder);
    CByteArray bytes;
    if (!CFileUtils::LoadAllBinFile(strPath, bytes))
    {
        KLOG_ERR << "OnBeforeNavigate2: Cannot decrypt file " << strPath;
        return false;
    }
    CipherBuffer(bytes.data(), bytes.size());
    return LoadHtml(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), strUrl);
}

bool CDocumentPage::LoadHtml(std::string_view html, std::string_view url)
{
    m_links.clear();
    m_samples.clear();
    m_downloads.clear();
    m_strUrl = url;
    if (!CXMLUtils::LoadHTMLDocumentContent(html, m_doc) || !xmlDocGetRootElement(m_doc.get()))
    {
        KLOG_ERR << "CDocumentPage::LoadHtml can't parse " << url;
        m_doc.reset();
        return false;
    }
    // Every top-level node: a damaged page can parse into more than one
    // root element, and all of them are written back.
    xmlNode* pDocument = reinterpret_cast<xmlNode*>(m_doc.get());
    MakeSafe(pDocument);
    for (xmlNode* pTop = pDocument->children; pTop; pTop = pTop->next)
        if (pTop->type == XML_ELEMENT_NODE)
            CEncyclopediaData::ReplaceSpecialLinks(pTop, m_samples, m_downloads);
    CollectLinks(pDocument->children, false);
    AddClientStyleSheet(m_doc.get());
    // The type of a page of today is written by GetSafeHtml: the library's
    // default one would put the browser into its quirks mode.
    if (xmlDtd* pDtd = xmlGetIntSubset(m_doc.get()))
    {
        xmlUnlinkNode(reinterpret_cast<xmlNode*>(pDtd));
        xmlFreeDtd(pDtd);
    }
    return true;
}

void CDocumentPage::MakeSafe(xmlNode* pNode)
{
    for (xmlNode* pChild = pNode->children; pChild;)
    {
        xmlNode* pNext = pChild->next;
        if (pChild->type == XML_ELEMENT_NODE && IsUnwrappedElement(pChild))
        {
            // Its children take its place and are looked at in turn.
            xmlNode* pFirst = pChild->children;
            while (xmlNode* pInner = pChild->children)
            {
                xmlUnlinkNode(pInner);
                xmlAddPrevSibling(pChild, pInner);
            }
            xmlUnlinkNode(pChild);
            xmlFreeNode(pChild);
            pChild = pFirst ? pFirst : pNext;
            continue;
        }
        if (pChild->type == XML_ELEMENT_NODE && IsDroppedElement(pChild))
        {
            xmlUnlinkNode(pChild);
            xmlFreeNode(pChild);
        }
        else if (pChild->type == XML_ELEMENT_NODE)
            MakeSafe(pChild);
        pChild = pNext;
    }
    if (pNode->type != XML_ELEMENT_NODE)
        return;
    DropAttributes(pNode);
    // A form keeps its text and controls but can no longer be sent.
    if (IsTag(pNode, "form"))
        xmlNodeSetName(pNode, BAD_CAST "div");
    if (IsTag(pNode, "img"))
        xmlSetProp(pNode, BAD_CAST "title", BAD_CAST std::string(CStringTable::Get(IDS_IMAGE_HINT)).c_str());
}

void CDocumentPage::CollectLinks(const xmlNode* pNode, bool bSeeAlso)
{
    for (const xmlNode* pChild = pNode; pChild; pChild = pChild->next)
    {
        if (pChild->type != XML_ELEMENT_NODE)
            continue;
        const bool bInSeeAlso = bSeeAlso || (IsTag(pChild, "div") && HasClass(pChild, "see_also"));
        if (IsTag(pChild, "a") && CXMLUtils::HasAttribute(pChild, "href"))
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
    if (!m_doc)
        return {};
    // Written as UTF-8, not as character references (the bridge names the
    // encoding in its answer).
    xmlOutputBuffer* pBuffer = xmlAllocOutputBuffer(nullptr);
    if (!pBuffer)
        return {};
    htmlDocContentDumpFormatOutput(pBuffer, m_doc.get(), "UTF-8", 0);
    xmlOutputBufferFlush(pBuffer);
    std::string html = "<!DOCTYPE html>\n";
    if (const xmlChar* pText = xmlOutputBufferGetContent(pBuffer))
        html.append(reinterpret_cast<const char*>(pText), xmlOutputBufferGetSize(pBuffer));
    xmlOutputBufferClose(pBuffer);
    return html;
}

std::string CDocumentPage::GetText(std::size_t nMaxLength, bool bWithoutTitle) const
{
    std::string strText = CXMLUtils::GetHtmlBodyText(m_doc.get());
    if (const xmlNode* pTitle = bWithoutTitle ? FindElement(xmlDocGetRootElement(m_doc.get()), "h1") : nullptr)
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

std::map<std::string, std::string> CDocumentPage::GetTextByAnchor(const std::set<std::string>& anchors) const
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
