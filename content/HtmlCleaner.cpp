#include "HtmlCleaner.h"

#include "Logger.h"
#include "StringTable.h"
#include "TextUtils.h"

#include <gumbo.h>
#include <libxml/HTMLtree.h>

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

namespace
{
constexpr const char* kSvgNamespace = "http://www.w3.org/2000/svg";

// What happens to an element of the page.
enum class EKeep
{
    Keep,   // kept with its allowed attributes
    Unwrap, // goes; what it holds takes its place
    Drop,   // goes with everything inside
};

struct CGumboOutputDeleter
{
    void operator()(GumboOutput* pOutput) const
    {
        gumbo_destroy_output(&kGumboDefaultOptions, pOutput);
    }
};
using CGumboOutputPtr = std::unique_ptr<GumboOutput, CGumboOutputDeleter>;

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// HTML elements that only shape text, tables, lists and pictures.
constexpr std::array<std::string_view, 84> kHtmlKept{
    "html",       "head",     "body",    "title",   "style",      "link",    "div",     "span",
    "p",          "br",       "hr",      "h1",      "h2",         "h3",      "h4",      "h5",
    "h6",         "a",        "img",     "ul",      "ol",         "li",      "dl",      "dt",
    "dd",         "table",    "thead",   "tbody",   "tfoot",      "tr",      "td",      "th",
    "caption",    "colgroup", "col",     "b",       "i",          "u",       "s",       "strike",
    "strong",     "em",       "sub",     "sup",     "small",      "big",     "font",    "center",
    "blockquote", "pre",      "code",    "tt",      "kbd",        "samp",    "var",     "cite",
    "q",          "abbr",     "acronym", "address", "del",        "ins",     "mark",    "nobr",
    "wbr",        "map",      "area",    "figure",  "figcaption", "section", "article", "header",
    "footer",     "nav",      "aside",   "main",    "details",    "summary", "label",   "fieldset",
    "legend",     "dfn",      "time",    "form"};
// Elements that run code, embed other documents, load media, take input or
// change how the page is addressed or refreshed: gone with what they hold
// (the text of a frame or a no-script block is markup nobody should see).
constexpr std::array<std::string_view, 22> kHtmlDropped{
    "script", "noscript", "template", "iframe",   "frame",  "noembed", "noframes", "textarea",
    "select", "option",   "optgroup", "datalist", "input",  "button",  "meta",     "base",
    "embed",  "param",    "source",   "track",    "portal", "keygen"};
// Media with fallback text: the text stays.
constexpr std::array<std::string_view, 2> kHtmlMediaDropped{"audio", "video"};

// SVG elements of drawings, by their name in lower case and as SVG writes it.
constexpr std::array<std::pair<std::string_view, std::string_view>, 24> kSvgKept{{
    {"svg", "svg"},
    {"g", "g"},
    {"path", "path"},
    {"rect", "rect"},
    {"circle", "circle"},
    {"ellipse", "ellipse"},
    {"line", "line"},
    {"polyline", "polyline"},
    {"polygon", "polygon"},
    {"text", "text"},
    {"tspan", "tspan"},
    {"title", "title"},
    {"desc", "desc"},
    {"defs", "defs"},
    {"lineargradient", "linearGradient"},
    {"radialgradient", "radialGradient"},
    {"stop", "stop"},
    {"clippath", "clipPath"},
    {"symbol", "symbol"},
    {"marker", "marker"},
    {"pattern", "pattern"},
    {"a", "a"},
    {"image", "image"},
    {"use", "use"},
}};

constexpr std::array<std::string_view, 44> kHtmlAttributes{
    "id",      "class",    "title",    "lang",        "dir",         "align",   "valign",
    "width",   "height",   "border",   "cellpadding", "cellspacing", "colspan", "rowspan",
    "bgcolor", "color",    "face",     "size",        "alt",         "name",    "start",
    "type",    "value",    "nowrap",   "hspace",      "vspace",      "clear",   "scope",
    "headers", "abbr",     "summary",  "rules",       "frame",       "noshade", "span",
    "open",    "reversed", "datetime", "char",        "charoff",     "compact", "bordercolor",
    "shape",   "coords"};

constexpr std::array<std::pair<std::string_view, std::string_view>, 56> kSvgAttributes{{
    {"id", "id"},
    {"class", "class"},
    {"transform", "transform"},
    {"viewbox", "viewBox"},
    {"preserveaspectratio", "preserveAspectRatio"},
    {"width", "width"},
    {"height", "height"},
    {"x", "x"},
    {"y", "y"},
    {"x1", "x1"},
    {"y1", "y1"},
    {"x2", "x2"},
    {"y2", "y2"},
    {"cx", "cx"},
    {"cy", "cy"},
    {"r", "r"},
    {"rx", "rx"},
    {"ry", "ry"},
    {"d", "d"},
    {"points", "points"},
    {"fill", "fill"},
    {"fill-opacity", "fill-opacity"},
    {"fill-rule", "fill-rule"},
    {"stroke", "stroke"},
    {"stroke-width", "stroke-width"},
    {"stroke-opacity", "stroke-opacity"},
    {"stroke-dasharray", "stroke-dasharray"},
    {"stroke-linecap", "stroke-linecap"},
    {"stroke-linejoin", "stroke-linejoin"},
    {"stroke-miterlimit", "stroke-miterlimit"},
    {"opacity", "opacity"},
    {"font-size", "font-size"},
    {"font-family", "font-family"},
    {"font-weight", "font-weight"},
    {"font-style", "font-style"},
    {"text-anchor", "text-anchor"},
    {"dominant-baseline", "dominant-baseline"},
    {"dx", "dx"},
    {"dy", "dy"},
    {"offset", "offset"},
    {"stop-color", "stop-color"},
    {"stop-opacity", "stop-opacity"},
    {"gradientunits", "gradientUnits"},
    {"gradienttransform", "gradientTransform"},
    {"patternunits", "patternUnits"},
    {"patterntransform", "patternTransform"},
    {"clip-path", "clip-path"},
    {"clip-rule", "clip-rule"},
    {"marker-start", "marker-start"},
    {"marker-mid", "marker-mid"},
    {"marker-end", "marker-end"},
    {"markerwidth", "markerWidth"},
    {"markerheight", "markerHeight"},
    {"refx", "refX"},
    {"refy", "refY"},
    {"orient", "orient"},
}};

// The browser's first steps with an address: C0 controls and blanks off both
// ends, tabs and line breaks taken out wherever they are.
std::string PrepareAddress(std::string_view value)
{
    while (!value.empty() && static_cast<unsigned char>(value.front()) <= 0x20)
        value.remove_prefix(1);
    while (!value.empty() && static_cast<unsigned char>(value.back()) <= 0x20)
        value.remove_suffix(1);
    std::string address;
    for (const char c : value)
        if (c != '\t' && c != '\n' && c != '\r')
            address += c;
    return address;
}

// The scheme of an address in lower case, or "" when it has none.
std::string SchemeOf(std::string_view address)
{
    if (address.empty() || !std::isalpha(static_cast<unsigned char>(address.front())))
        return {};
    for (std::size_t i = 1; i < address.size(); ++i)
    {
        const unsigned char c = static_cast<unsigned char>(address[i]);
        if (c == ':')
            return CTextUtils::ToLower(address.substr(0, i));
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return {};
    }
    return {};
}

// "//host", "\\host", "/\host", "\/host": another host, whatever the scheme.
bool NamesHost(std::string_view address)
{
    const auto slash = [](char c) { return c == '/' || c == '\\'; };
    return address.size() >= 2 && slash(address[0]) && slash(address[1]);
}

std::string_view NameOf(const xmlNode* pNode)
{
    return pNode && pNode->name ? std::string_view(reinterpret_cast<const char*>(pNode->name))
                                : std::string_view();
}

bool IsSvg(const xmlNode* pNode)
{
    return pNode && pNode->ns && pNode->ns->href &&
           std::string_view(reinterpret_cast<const char*>(pNode->ns->href)) == kSvgNamespace;
}

// A gumbo element's tag name in lower case.
std::string TagName(const GumboElement& element)
{
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return gumbo_normalized_tagname(element.tag);
    GumboStringPiece original = element.original_tag;
    gumbo_tag_from_original_text(&original);
    return CTextUtils::ToLower(
        std::string_view(original.data ? original.data : "", original.length));
}

// Presentation values may point at paint servers and clip paths: of the
// same drawing only.
bool HasOnlyLocalReferences(std::string_view value)
{
    const std::string lower = CTextUtils::ToLower(value);
    for (std::size_t nPos = lower.find("url("); nPos != std::string::npos;
         nPos = lower.find("url(", nPos + 4))
    {
        std::size_t nStart = nPos + 4;
        while (nStart < lower.size() &&
               (lower[nStart] == ' ' || lower[nStart] == '"' || lower[nStart] == '\''))
            ++nStart;
        if (nStart >= lower.size() || lower[nStart] != '#')
            return false;
    }
    return lower.find('\\') == std::string::npos;
}

class CConverter
{
public:
    explicit CConverter(xmlDoc* pDoc) : m_pDoc(pDoc) {}

    void ConvertChildren(const GumboVector& children, xmlNode* pParent, bool bInSvg)
    {
        for (unsigned i = 0; i < children.length; ++i)
            Convert(*static_cast<const GumboNode*>(children.data[i]), pParent, bInSvg);
    }

    // The element's kept attributes and children added to an element made
    // for it (the root and body of a fragment come in made).
    void FillElement(const GumboElement& element, std::string_view name, xmlNode* pElement,
                     bool bSvg)
    {
        CopyAttributes(element, name, pElement, bSvg);
        if (!bSvg && name == "style")
        {
            // Raw text up to "</style": anything that could end it early
            // leaves the sheet empty.
            std::string css;
            for (unsigned i = 0; i < element.children.length; ++i)
            {
                const GumboNode& child = *static_cast<const GumboNode*>(element.children.data[i]);
                if (child.type == GUMBO_NODE_TEXT || child.type == GUMBO_NODE_WHITESPACE)
                    css += child.v.text.text;
            }
            if (CHtmlCleaner::IsSafeStyle(css) &&
                CTextUtils::ToLower(css).find("</style") == std::string::npos)
                xmlAddChild(pElement, xmlNewDocText(m_pDoc, BAD_CAST css.c_str()));
            return;
        }
        if (!bSvg && name == "img")
            xmlSetProp(pElement, BAD_CAST "title",
                       BAD_CAST std::string(CStringTable::Get(IDS_IMAGE_HINT)).c_str());
        ConvertChildren(element.children, pElement, bSvg);
    }

private:
    void Convert(const GumboNode& node, xmlNode* pParent, bool bInSvg)
    {
        switch (node.type)
        {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            xmlAddChild(pParent, xmlNewDocText(m_pDoc, BAD_CAST node.v.text.text));
            return;
        case GUMBO_NODE_ELEMENT:
        case GUMBO_NODE_TEMPLATE: ConvertElement(node.v.element, pParent, bInSvg); return;
        default: return; // comments and the document type are not written
        }
    }

    void ConvertElement(const GumboElement& element, xmlNode* pParent, bool bInSvg)
    {
        const std::string name = TagName(element);
        if (element.tag_namespace == GUMBO_NAMESPACE_SVG)
        {
            const auto it = std::find_if(kSvgKept.begin(), kSvgKept.end(),
                                         [&](const auto& kept) { return kept.first == name; });
            // Animation, scripts, foreign objects and whatever else SVG has
            // go whole; a drawing starts only from its svg element.
            if (it == kSvgKept.end() || (!bInSvg && name != "svg"))
                return;
            xmlNode* pElement =
                xmlNewDocNode(m_pDoc, nullptr, BAD_CAST std::string(it->second).c_str(), nullptr);
            xmlAddChild(pParent, pElement);
            if (!m_pSvgNs || !bInSvg)
                m_pSvgNs = xmlNewNs(pElement, BAD_CAST kSvgNamespace, nullptr);
            xmlSetNs(pElement, m_pSvgNs);
            FillElement(element, name, pElement, true);
            return;
        }
        // Inside a drawing only its own elements and text; MathML goes whole.
        if (bInSvg || element.tag_namespace == GUMBO_NAMESPACE_MATHML)
            return;
        EKeep keep = OneOf(name, kHtmlKept) ? EKeep::Keep : EKeep::Unwrap;
        if (OneOf(name, kHtmlDropped))
            keep = EKeep::Drop;
        if (name == "link")
        {
            // Style sheets of the content itself, nothing else.
            const GumboAttribute* pRel = gumbo_get_attribute(&element.attributes, "rel");
            const GumboAttribute* pHref = gumbo_get_attribute(&element.attributes, "href");
            if (!pRel || CTextUtils::ToLower(CTextUtils::Trim(pRel->value)) != "stylesheet" ||
                !pHref || !CHtmlCleaner::OwnResourceAddress(pHref->value))
                keep = EKeep::Drop;
        }
        if (keep == EKeep::Drop)
            return;
        if (OneOf(name, kHtmlMediaDropped) || keep == EKeep::Unwrap)
        {
            ConvertChildren(element.children, pParent, false);
            return;
        }
        // A form keeps its text but can no longer be sent.
        const std::string written = name == "form" ? "div" : name;
        xmlNode* pElement = xmlNewDocNode(m_pDoc, nullptr, BAD_CAST written.c_str(), nullptr);
        xmlAddChild(pParent, pElement);
        FillElement(element, name, pElement, false);
    }

    void CopyAttributes(const GumboElement& element, std::string_view tag, xmlNode* pElement,
                        bool bSvg)
    {
        for (unsigned i = 0; i < element.attributes.length; ++i)
        {
            const auto& attribute = *static_cast<const GumboAttribute*>(element.attributes.data[i]);
            const std::string name = CTextUtils::ToLower(attribute.name);
            const std::string_view value = attribute.value;
            std::optional<std::string> kept;
            std::string written = name;
            if (bSvg)
                kept = SvgAttribute(attribute, tag, name, value, written);
            else
                kept = HtmlAttribute(tag, name, value);
            if (kept && !xmlHasProp(pElement, BAD_CAST written.c_str()))
                xmlSetProp(pElement, BAD_CAST written.c_str(), BAD_CAST kept->c_str());
        }
    }

    static std::optional<std::string> HtmlAttribute(std::string_view tag, std::string_view name,
                                                    std::string_view value)
    {
        if (name == "style")
            return CHtmlCleaner::IsSafeStyle(value) ? std::optional<std::string>(value)
                                                    : std::nullopt;
        if (name == "href" && (tag == "a" || tag == "area"))
            return CHtmlCleaner::RoutedLinkAddress(value);
        if ((name == "href" && tag == "link") || (name == "src" && tag == "img") ||
            name == "background")
            return CHtmlCleaner::OwnResourceAddress(value);
        if (name == "srcset" && tag == "img")
            return CHtmlCleaner::IsOwnSourceSet(value) ? std::optional<std::string>(value)
                                                       : std::nullopt;
        if (name == "usemap" && tag == "img")
        {
            const std::string address = PrepareAddress(value);
            return address.starts_with('#') ? std::optional<std::string>(address) : std::nullopt;
        }
        if (tag == "link" && (name == "rel" || name == "media"))
            return std::string(value);
        if (OneOf(name, kHtmlAttributes))
            return std::string(value);
        return std::nullopt;
    }

    static std::optional<std::string> SvgAttribute(const GumboAttribute& attribute,
                                                   std::string_view tag, std::string_view name,
                                                   std::string_view value, std::string& written)
    {
        const bool bXlink = attribute.attr_namespace == GUMBO_ATTR_NAMESPACE_XLINK;
        if (name == "href" && (bXlink || attribute.attr_namespace == GUMBO_ATTR_NAMESPACE_NONE))
        {
            // Written as a plain href, which the browser and the client's
            // click handling both read.
            written = "href";
            if (tag == "a")
                return CHtmlCleaner::RoutedLinkAddress(value);
            if (tag == "image")
                return CHtmlCleaner::OwnResourceAddress(value);
            const std::string address = PrepareAddress(value);
            return tag == "use" && address.starts_with('#') ? std::optional<std::string>(address)
                                                            : std::nullopt;
        }
        if (attribute.attr_namespace != GUMBO_ATTR_NAMESPACE_NONE)
            return std::nullopt;
        if (name == "style")
            return CHtmlCleaner::IsSafeStyle(value) ? std::optional<std::string>(value)
                                                    : std::nullopt;
        const auto it = std::find_if(kSvgAttributes.begin(), kSvgAttributes.end(),
                                     [&](const auto& kept) { return kept.first == name; });
        if (it == kSvgAttributes.end() || !HasOnlyLocalReferences(value))
            return std::nullopt;
        written = it->second;
        return std::string(value);
    }

    xmlDoc* m_pDoc;
    xmlNs* m_pSvgNs = nullptr;
};

CGumboOutputPtr Parse(std::string_view html, GumboTag context)
{
    GumboOptions options = kGumboDefaultOptions;
    options.max_errors = 0; // the errors are not read
    options.fragment_context = context;
    options.fragment_namespace = GUMBO_NAMESPACE_HTML;
    return CGumboOutputPtr(gumbo_parse_with_options(&options, html.data(), html.size()));
}

constexpr std::array<std::string_view, 16> kVoidElements{
    "area", "base", "br",     "col",   "embed", "hr",    "img",    "input",
    "link", "meta", "source", "track", "wbr",   "param", "keygen", "frame"};

void EscapeInto(std::string& out, std::string_view text, bool bAttribute)
{
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        const char c = text[i];
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"' && bAttribute)
            out += "&quot;";
        else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0')
        {
            out += "&nbsp;";
            ++i;
        }
        else
            out += c;
    }
}

void SerializeNode(const xmlNode* pNode, std::string& out, bool bRawText)
{
    if (pNode->type == XML_TEXT_NODE || pNode->type == XML_CDATA_SECTION_NODE)
    {
        const std::string_view text =
            pNode->content ? reinterpret_cast<const char*>(pNode->content) : "";
        if (bRawText)
            out += text; // checked when the tree was made
        else
            EscapeInto(out, text, false);
        return;
    }
    if (pNode->type != XML_ELEMENT_NODE)
        return;
    const std::string_view name = NameOf(pNode);
    out += '<';
    out += name;
    for (const xmlAttr* pAttribute = pNode->properties; pAttribute; pAttribute = pAttribute->next)
    {
        xmlChar* pValue = xmlNodeGetContent(reinterpret_cast<const xmlNode*>(pAttribute));
        out += ' ';
        out += reinterpret_cast<const char*>(pAttribute->name);
        out += "=\"";
        EscapeInto(out, pValue ? reinterpret_cast<const char*>(pValue) : "", true);
        out += '"';
        xmlFree(pValue);
    }
    out += '>';
    const bool bSvg = IsSvg(pNode);
    if (!bSvg && OneOf(name, kVoidElements))
        return;
    const bool bStyle = !bSvg && name == "style";
    for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
        SerializeNode(pChild, out, bStyle);
    out += "</";
    out += name;
    out += '>';
}
} // namespace

std::optional<std::string> CHtmlCleaner::OwnResourceAddress(std::string_view value)
{
    std::string address = PrepareAddress(value);
    if (address.empty() || NamesHost(address) || !SchemeOf(address).empty())
        return std::nullopt;
    return address;
}

std::optional<std::string> CHtmlCleaner::RoutedLinkAddress(std::string_view value)
{
    std::string address = PrepareAddress(value);
    if (NamesHost(address))
        return std::nullopt;
    const std::string scheme = SchemeOf(address);
    if (!scheme.empty() && scheme != "http" && scheme != "https" && scheme != "mailto" &&
        scheme != "about")
        return std::nullopt;
    return address;
}

bool CHtmlCleaner::IsOwnSourceSet(std::string_view value)
{
    // Every piece between blanks and commas is either a size ("2x", "300w")
    // or an address: where the browser's own reading starts an address,
    // one of these pieces starts too.
    bool bAny = false;
    std::size_t nPos = 0;
    const auto separator = [](char c) { return c == ',' || static_cast<unsigned char>(c) <= 0x20; };
    while (nPos < value.size())
    {
        if (separator(value[nPos]))
        {
            ++nPos;
            continue;
        }
        std::size_t nEnd = nPos;
        while (nEnd < value.size() && !separator(value[nEnd]))
            ++nEnd;
        const std::string_view piece = value.substr(nPos, nEnd - nPos);
        const bool bSize =
            std::isdigit(static_cast<unsigned char>(piece.front())) &&
            std::all_of(
                piece.begin(), piece.end() - 1,
                [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '.'; }) &&
            (piece.back() == 'x' || piece.back() == 'w' || piece.back() == 'h');
        if (!bSize && !OwnResourceAddress(piece))
            return false;
        bAny = true;
        nPos = nEnd;
    }
    return bAny;
}

bool CHtmlCleaner::IsSafeStyle(std::string_view css)
{
    const std::string lower = CTextUtils::ToLower(css);
    // Escapes could spell any of the words below; nothing of the library
    // needs them.
    for (const std::string_view word :
         {std::string_view("\\"), std::string_view("@import"), std::string_view("image-set"),
          std::string_view("expression"), std::string_view("-moz-binding"),
          std::string_view("behavior"), std::string_view("src(")})
        if (lower.find(word) != std::string::npos)
            return false;
    for (std::size_t nPos = lower.find("url("); nPos != std::string::npos;
         nPos = lower.find("url(", nPos + 4))
    {
        std::size_t nStart = nPos + 4;
        while (nStart < lower.size() && static_cast<unsigned char>(lower[nStart]) <= 0x20)
            ++nStart;
        std::size_t nEnd;
        if (nStart < lower.size() && (lower[nStart] == '"' || lower[nStart] == '\''))
        {
            nEnd = lower.find(lower[nStart], nStart + 1);
            ++nStart;
        }
        else
            nEnd = lower.find(')', nStart);
        if (nEnd == std::string::npos)
            return false;
        const std::string_view address = std::string_view(css).substr(nStart, nEnd - nStart);
        if (!PrepareAddress(address).starts_with('#') && !OwnResourceAddress(address))
            return false;
    }
    return true;
}

CXmlDocPtr CHtmlCleaner::CleanDocument(std::string_view html)
{
    const CGumboOutputPtr pOutput = Parse(html, GUMBO_TAG_LAST);
    if (!pOutput || !pOutput->root || pOutput->root->type != GUMBO_NODE_ELEMENT)
    {
        KLOG_ERR << "CHtmlCleaner::CleanDocument can't parse the page";
        return nullptr;
    }
    CXmlDocPtr doc(htmlNewDocNoDtD(nullptr, nullptr));
    if (!doc)
        return nullptr;
    xmlNode* pRoot = xmlNewDocNode(doc.get(), nullptr, BAD_CAST "html", nullptr);
    xmlDocSetRootElement(doc.get(), pRoot);
    CConverter converter(doc.get());
    converter.FillElement(pOutput->root->v.element, "html", pRoot, false);
    return doc;
}

std::string CHtmlCleaner::CleanFragment(std::string_view html)
{
    const CGumboOutputPtr pOutput = Parse(html, GUMBO_TAG_BODY);
    CXmlDocPtr doc(htmlNewDocNoDtD(nullptr, nullptr));
    if (!pOutput || !pOutput->root || pOutput->root->type != GUMBO_NODE_ELEMENT || !doc)
        return {};
    xmlNode* pBody = xmlNewDocNode(doc.get(), nullptr, BAD_CAST "body", nullptr);
    xmlDocSetRootElement(doc.get(), pBody);
    // A fragment parses into an html element holding what the body would.
    CConverter(doc.get()).ConvertChildren(pOutput->root->v.element.children, pBody, false);
    return Serialize(pBody);
}

std::string CHtmlCleaner::Serialize(const xmlNode* pNode)
{
    std::string out;
    if (!pNode)
        return out;
    if (pNode->type == XML_DOCUMENT_NODE || pNode->type == XML_HTML_DOCUMENT_NODE ||
        (pNode->type == XML_ELEMENT_NODE && NameOf(pNode) == "body"))
    {
        for (const xmlNode* pChild = pNode->children; pChild; pChild = pChild->next)
            SerializeNode(pChild, out, false);
        return out;
    }
    SerializeNode(pNode, out, false);
    return out;
}

std::string CHtmlCleaner::SerializeDocument(const xmlDoc* pDoc)
{
    if (!pDoc)
        return {};
    return "<!DOCTYPE html>\n" + Serialize(reinterpret_cast<const xmlNode*>(pDoc));
}
