// Arbitrary pages through the document view's reading and cleaning: whatever
// a page holds, what goes to the browser parses into no element that runs,
// embeds or re-addresses anything, no handler and no address that runs code,
// and the page's links resolve inside the content.
#include "DocumentPage.h"
#include "TextUtils.h"
#include "XMLUtils.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
// Every attribute a browser resolves as an address (xlink:href is read
// back as "href").
bool IsAddressAttribute(std::string_view name)
{
    for (const char* szName :
         {"href",   "src",      "srcset",   "action",  "formaction", "data",     "background",
          "poster", "cite",     "codebase", "classid", "archive",    "longdesc", "usemap",
          "ping",   "manifest", "icon",     "profile", "dynsrc",     "lowsrc",   "style"})
        if (CTextUtils::EqualsNoCaseAscii(name, szName))
            return true;
    return false;
}

bool IsForbidden(const xmlNode* pNode)
{
    const std::string_view name = reinterpret_cast<const char*>(pNode->name);
    for (const char* szTag :
         {"script", "iframe", "frame", "object", "embed", "applet", "base", "form"})
        if (CTextUtils::EqualsNoCaseAscii(name, szTag))
            return true;
    for (const xmlAttr* pAttribute = pNode->properties; pAttribute; pAttribute = pAttribute->next)
    {
        const std::string_view attribute = reinterpret_cast<const char*>(pAttribute->name);
        if (CTextUtils::StartsWithNoCaseAscii(attribute, "on") ||
            CTextUtils::EqualsNoCaseAscii(attribute, "target"))
            return true;
        // An address runs code; a class, a title or an alt text that reads
        // "javascript:" is only text.
        if (!IsAddressAttribute(attribute))
            continue;
        std::string value = CXMLUtils::GetText(reinterpret_cast<const xmlNode*>(pAttribute));
        std::erase_if(value, [](char c) { return static_cast<unsigned char>(c) <= 0x20; });
        if (CTextUtils::StartsWithNoCaseAscii(value, "javascript:") ||
            CTextUtils::StartsWithNoCaseAscii(value, "vbscript:"))
            return true;
    }
    return false;
}

bool HasForbidden(const xmlNode* pNode)
{
    for (; pNode; pNode = pNode->next)
        if ((pNode->type == XML_ELEMENT_NODE && IsForbidden(pNode)) ||
            HasForbidden(pNode->children))
            return true;
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const std::string html(reinterpret_cast<const char*>(pData), nSize);
    CDocumentPage page;
    if (!page.LoadHtml(html, "/dir/page.html"))
        return 0;
    const std::string safe = page.GetSafeHtml();
    CXmlDocPtr doc;
    if (CXMLUtils::LoadHTMLDocumentContent(safe, doc) &&
        HasForbidden(reinterpret_cast<const xmlNode*>(doc.get())->children))
        std::abort();
    for (const CDocumentLink& link : page.GetLinks())
    {
        const std::string strPath = link.m_strTarget.substr(0, link.m_strTarget.find('#'));
        if (strPath.starts_with("/") &&
            (strPath.find("/../") != std::string::npos || strPath.ends_with("/..")))
            std::abort();
    }
    page.GetText(200, true);
    return 0;
}
