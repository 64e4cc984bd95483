#include "HtmlParser.h"

#include "TextUtils.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <array>
#include <climits>

namespace
{
constexpr int kParseOptions =
    HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_COMPACT;
constexpr int kMaxDepth = 256; // deeper nesting is cut, so hostile input cannot exhaust the stack

struct CXmlDocDeleter
{
    void operator()(xmlDoc* pDoc) const { xmlFreeDoc(pDoc); }
};
using CXmlDocPtr = std::unique_ptr<xmlDoc, CXmlDocDeleter>;

// The parser lets bytes that are not UTF-8 through in some places of a page
// (and reads them as Latin-1 in others); the tree holds what the browser shows
// for them, U+FFFD, so that what it sends the browser reads back the same.
std::string ValidText(const xmlChar* pText)
{
    const std::string_view text = pText ? reinterpret_cast<const char*>(pText) : "";
    if (CTextUtils::IsValidUtf8(text))
        return std::string(text);
    std::string out;
    for (std::size_t nPos = 0; nPos < text.size();)
        CTextUtils::AppendUtf8(out, CTextUtils::DecodeNext(text, nPos));
    return out;
}

std::string ToLowerAscii(const char* szText)
{
    std::string out(szText ? szText : "");
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Controls start with what the page says: an input's value, a check box's
// checked attribute, a text area's text. From then on the node holds them.
void TakeInitialValue(CDomNode& node)
{
    if (node.m_strTag == "textarea")
    {
        for (const auto& pChild : node.m_children)
            node.m_strValue += pChild->m_strText;
        return;
    }
    if (node.m_strTag != "input")
        return;
    const std::string* pType = node.FindAttribute("type");
    if (pType && (*pType == "checkbox" || *pType == "radio"))
    {
        if (node.FindAttribute("checked"))
            node.m_nState |= STATE_CHECKED;
    }
    else if (const std::string* pValue = node.FindAttribute("value"))
        node.m_strValue = *pValue;
}

std::shared_ptr<CDomNode> Convert(xmlNode* pXml, int nDepth)
{
    switch (pXml->type)
    {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    {
        xmlChar* pText = xmlNodeGetContent(pXml);
        auto pNode = std::make_shared<CDomNode>(CDomNode::TEXT, ValidText(pText));
        xmlFree(pText);
        return pNode;
    }
    case XML_COMMENT_NODE:
        return nullptr; // comments carry nothing for the page's code or the browser
    case XML_ELEMENT_NODE: break;
    default: return nullptr;
    }
    auto pNode = std::make_shared<CDomNode>(
        CDomNode::ELEMENT, ToLowerAscii(reinterpret_cast<const char*>(pXml->name)));
    for (xmlAttr* pAttr = pXml->properties; pAttr; pAttr = pAttr->next)
    {
        xmlChar* pValue = xmlNodeListGetString(pXml->doc, pAttr->children, 1);
        pNode->m_attributes.emplace_back(ToLowerAscii(reinterpret_cast<const char*>(pAttr->name)),
                                         ValidText(pValue));
        xmlFree(pValue);
    }
    if (nDepth >= kMaxDepth)
        return pNode;
    for (xmlNode* pChild = pXml->children; pChild; pChild = pChild->next)
        if (auto pConverted = Convert(pChild, nDepth + 1))
        {
            pConverted->m_pParent = pNode.get();
            pNode->m_children.push_back(std::move(pConverted));
        }
    TakeInitialValue(*pNode);
    return pNode;
}

CXmlDocPtr Parse(std::string_view html)
{
    if (html.empty() || html.size() > INT_MAX)
        return nullptr;
    return CXmlDocPtr(htmlReadMemory(html.data(), static_cast<int>(html.size()), "page.htm",
                                     "UTF-8", kParseOptions));
}

xmlNode* FindChild(xmlNode* pParent, const char* szName)
{
    for (xmlNode* pChild = pParent ? pParent->children : nullptr; pChild; pChild = pChild->next)
        if (pChild->type == XML_ELEMENT_NODE &&
            ToLowerAscii(reinterpret_cast<const char*>(pChild->name)) == szName)
            return pChild;
    return nullptr;
}
} // namespace

std::shared_ptr<CDomNode> CHtmlParser::ParseDocument(std::string_view html)
{
    CXmlDocPtr pDoc = Parse(html);
    xmlNode* pRoot = pDoc ? xmlDocGetRootElement(pDoc.get()) : nullptr;
    if (!pRoot)
        return nullptr;
    auto pHtml = Convert(pRoot, 0);
    if (!pHtml || pHtml->m_strTag != "html")
        return nullptr;
    // The browser always has a head and a body; so does our tree.
    auto ensure = [&](const char* szTag, bool bFront) {
        for (const auto& pChild : pHtml->m_children)
            if (pChild->m_strTag == szTag)
                return;
        auto pNew = std::make_shared<CDomNode>(CDomNode::ELEMENT, szTag);
        pNew->m_pParent = pHtml.get();
        if (bFront)
            pHtml->m_children.insert(pHtml->m_children.begin(), std::move(pNew));
        else
            pHtml->m_children.push_back(std::move(pNew));
    };
    ensure("head", true);
    ensure("body", false);
    return pHtml;
}

std::vector<std::shared_ptr<CDomNode>> CHtmlParser::ParseFragment(std::string_view html)
{
    std::vector<std::shared_ptr<CDomNode>> nodes;
    if (html.empty())
        return nodes;
    // A fragment is parsed as the body of a page of its own, so text and
    // table rows keep their places.
    std::string page = "<html><body>";
    page += html;
    page += "</body></html>";
    CXmlDocPtr pDoc = Parse(page);
    xmlNode* pBody = FindChild(pDoc ? xmlDocGetRootElement(pDoc.get()) : nullptr, "body");
    if (!pBody)
        return nodes;
    for (xmlNode* pChild = pBody->children; pChild; pChild = pChild->next)
        if (auto pNode = Convert(pChild, 1))
            nodes.push_back(std::move(pNode));
    return nodes;
}

bool CHtmlWriter::IsVoidElement(std::string_view tag)
{
    static constexpr std::array<std::string_view, 12> kVoid{"area",  "base", "br",     "col",
                                                            "embed", "hr",   "img",    "input",
                                                            "link",  "meta", "source", "wbr"};
    for (const auto name : kVoid)
        if (tag == name)
            return true;
    return false;
}

namespace
{
// Text needs "<" and ">" escaped, an attribute value in double quotes "<"
// and the quote; "&" always.
std::string Escape(std::string_view text, bool bAttribute)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
    {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>' && !bAttribute)
            out += "&gt;";
        else if (c == '"' && bAttribute)
            out += "&quot;";
        else
            out += c;
    }
    return out;
}
} // namespace

std::string CHtmlWriter::EscapeText(std::string_view text)
{
    return Escape(text, false);
}

std::string CHtmlWriter::EscapeAttribute(std::string_view text)
{
    return Escape(text, true);
}

std::string CHtmlWriter::StateWords(unsigned nState)
{
    static const std::pair<unsigned, const char*> kWords[] = {
        {STATE_CURRENT, "current"},     {STATE_CHECKED, "checked"},   {STATE_EXPANDED, "expanded"},
        {STATE_COLLAPSED, "collapsed"}, {STATE_DISABLED, "disabled"}, {STATE_HIDDEN, "hidden"},
        {STATE_POPUP, "popup"},         {STATE_PRESSED, "pressed"},
    };
    std::string out;
    for (const auto& [nBit, szWord] : kWords)
        if (nState & nBit)
        {
            if (!out.empty())
                out += ' ';
            out += szWord;
        }
    return out;
}

std::vector<std::pair<std::string_view, std::string_view>>
CHtmlWriter::StateAttributes(unsigned nState)
{
    if (nState & STATE_DISABLED)
        return {{"aria-disabled", "true"}, {"tabindex", "-1"}};
    return {};
}

namespace
{
bool IsRawTextElement(std::string_view tag)
{
    return tag == "style" || tag == "script";
}

bool IsCheckable(const CDomNode& node)
{
    if (node.m_strTag != "input")
        return false;
    const std::string* pType = node.FindAttribute("type");
    return pType && (*pType == "checkbox" || *pType == "radio");
}
} // namespace

void CHtmlWriter::WriteChildren(const CDomNode& node, bool bUids, std::string& out)
{
    const bool bRaw = IsRawTextElement(node.m_strTag);
    if (bUids && node.m_strTag == "textarea")
    {
        out += EscapeText(node.m_strValue);
        return;
    }
    for (const auto& pChild : node.m_children)
    {
        if (pChild->m_type == CDomNode::TEXT)
            out += bRaw ? pChild->m_strText : EscapeText(pChild->m_strText);
        else if (pChild->IsElement())
            WriteNode(*pChild, bUids, out);
    }
}

void CHtmlWriter::WriteNode(const CDomNode& node, bool bUids, std::string& out)
{
    if (node.m_type == CDomNode::TEXT)
    {
        out += EscapeText(node.m_strText);
        return;
    }
    if (!node.IsElement())
        return;
    out += '<';
    out += node.m_strTag;
    const auto stateAttributes = bUids
                                     ? StateAttributes(node.m_nState)
                                     : std::vector<std::pair<std::string_view, std::string_view>>{};
    const auto fromState = [&stateAttributes](std::string_view name) {
        return std::any_of(stateAttributes.begin(), stateAttributes.end(),
                           [name](const auto& attribute) { return attribute.first == name; });
    };
    for (const auto& [name, value] : node.m_attributes)
    {
        if (bUids && (name == "data-uid" || name == "data-state" || fromState(name) ||
                      (name == "value" && node.m_strTag == "input") ||
                      (name == "checked" && IsCheckable(node))))
            continue; // written from the node's own fields below
        out += ' ';
        out += name;
        out += "=\"";
        out += EscapeAttribute(value);
        out += '"';
    }
    if (bUids)
    {
        out += " data-uid=\"" + std::to_string(node.m_nUid) + "\"";
        const std::string states = StateWords(node.m_nState);
        if (!states.empty())
            out += " data-state=\"" + states + "\"";
        for (const auto& [name, value] : stateAttributes)
            out += " " + std::string(name) + "=\"" + std::string(value) + "\"";
        if (node.m_strTag == "input")
        {
            if (IsCheckable(node))
            {
                if (node.m_nState & STATE_CHECKED)
                    out += " checked";
            }
            else
                out += " value=\"" + EscapeAttribute(node.m_strValue) + "\"";
        }
    }
    out += '>';
    if (IsVoidElement(node.m_strTag))
        return;
    WriteChildren(node, bUids, out);
    out += "</";
    out += node.m_strTag;
    out += '>';
}
