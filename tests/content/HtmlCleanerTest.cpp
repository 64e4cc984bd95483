// The page cleaner against mutation XSS and address tricks: what it writes
// is parsed again as a browser parses it and must hold nothing that runs,
// embeds, submits or fetches from anywhere but the client. Also the cut of a
// page too big to be real.
#include "HtmlCleaner.h"
#include "DocumentPage.h"

#include <gtest/gtest.h>
#include <gumbo.h>

#include <regex>

namespace
{
struct CGumboDeleter
{
    void operator()(GumboOutput* pOutput) const
    {
        gumbo_destroy_output(&kGumboDefaultOptions, pOutput);
    }
};

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The checks are deliberately narrower than the cleaner: an address the
// browser loads by itself must look like a plain path of this server, and a
// link like one too or a web or mail address.
const std::regex
    kPlainPath(R"(^/?[A-Za-z0-9_.~%-][A-Za-z0-9_.~%/ -]*(#[A-Za-z0-9_-]*)?$|^#[A-Za-z0-9_-]*$)");
const std::regex kWebLink(R"(^(https?://[A-Za-z0-9.-]+(/[^\s\\]*)?|mailto:[^\s\\]+)$)");

struct CChecker
{
    std::vector<std::string> m_faults;

    void Fault(const std::string& strWhat) { m_faults.push_back(strWhat); }

    void CheckNode(const GumboNode& node)
    {
        if (node.type != GUMBO_NODE_ELEMENT && node.type != GUMBO_NODE_TEMPLATE)
            return;
        const GumboElement& element = node.v.element;
        std::string name =
            element.tag != GUMBO_TAG_UNKNOWN ? gumbo_normalized_tagname(element.tag) : "";
        if (name.empty())
        {
            GumboStringPiece original = element.original_tag;
            gumbo_tag_from_original_text(&original);
            name = Lower(std::string_view(original.data ? original.data : "", original.length));
        }
        for (const char* szForbidden :
             {"script",        "iframe",   "frame",         "frameset",
              "object",        "embed",    "applet",        "base",
              "form",          "input",    "button",        "noscript",
              "set",           "animate",  "animatemotion", "animatetransform",
              "foreignobject", "math",     "portal",        "template",
              "meta",          "textarea", "select",        "video",
              "audio",         "source"})
            if (name == szForbidden && !(name == "meta" && element.attributes.length == 1 &&
                                         gumbo_get_attribute(&element.attributes, "charset")))
                Fault("element " + name);
        const bool bLink = (name == "a" || name == "area");
        for (unsigned i = 0; i < element.attributes.length; ++i)
        {
            const auto& attribute = *static_cast<const GumboAttribute*>(element.attributes.data[i]);
            const std::string attr = Lower(attribute.name);
            const std::string value = attribute.value;
            const std::string what = name + " " + attr + "=" + value;
            if (attr.starts_with("on") || attr == "srcdoc" || attr == "target" ||
                attr == "formaction" || attr == "action" || attr == "http-equiv" ||
                attr == "ping" || attr == "data" || attr == "poster")
                Fault("attribute " + what);
            else if (attr == "href" && bLink)
            {
                if (!std::regex_match(value, kPlainPath) && !std::regex_match(value, kWebLink))
                    Fault("link " + what);
            }
            else if (attr == "href" || attr == "src" || attr == "background" || attr == "usemap" ||
                     attr == "cite")
            {
                if (!std::regex_match(value, kPlainPath))
                    Fault("address " + what);
            }
            else if (attr == "srcset")
            {
                const std::regex candidate(
                    R"(^\s*[A-Za-z0-9_.~%-][A-Za-z0-9_.~%/-]*(\s+[0-9.]+[wx])?\s*$)");
                std::size_t nPos = 0;
                while (nPos <= value.size())
                {
                    const std::size_t nEnd = std::min(value.find(',', nPos), value.size());
                    if (!std::regex_match(value.substr(nPos, nEnd - nPos), candidate))
                        Fault("srcset " + what);
                    nPos = nEnd + 1;
                }
            }
            else if (attr == "style")
                CheckStyle(what, value);
        }
        if (name == "style")
            for (unsigned i = 0; i < element.children.length; ++i)
            {
                const GumboNode& child = *static_cast<const GumboNode*>(element.children.data[i]);
                if (child.type == GUMBO_NODE_TEXT)
                    CheckStyle("style " + std::string(child.v.text.text), child.v.text.text);
                else if (child.type == GUMBO_NODE_ELEMENT)
                    Fault("element inside a style sheet");
            }
        for (unsigned i = 0; i < element.children.length; ++i)
            CheckNode(*static_cast<const GumboNode*>(element.children.data[i]));
    }

    void CheckStyle(const std::string& strWhat, std::string_view css)
    {
        const std::string lower = Lower(css);
        if (lower.find('\\') != std::string::npos || lower.find("@import") != std::string::npos ||
            lower.find("expression") != std::string::npos)
            Fault("style " + strWhat);
        static const std::regex url(R"(url\(\s*['"]?([^'")]*))");
        for (std::sregex_iterator it(lower.begin(), lower.end(), url), end; it != end; ++it)
            if (!std::regex_match((*it)[1].str(), kPlainPath))
                Fault("style address " + strWhat);
    }
};

// Faults found in markup parsed as a whole page, and as a selection in a body.
std::vector<std::string> FaultsOf(std::string_view html, bool bFragment)
{
    GumboOptions options = kGumboDefaultOptions;
    if (bFragment)
    {
        options.fragment_context = GUMBO_TAG_BODY;
        options.fragment_namespace = GUMBO_NAMESPACE_HTML;
    }
    std::unique_ptr<GumboOutput, CGumboDeleter> pOutput(
        gumbo_parse_with_options(&options, html.data(), html.size()));
    CChecker checker;
    checker.CheckNode(*pOutput->root);
    return checker.m_faults;
}

struct CCase
{
    const char* szName;
    const char* szHtml;
    const char* szKept; // what must survive ("" for nothing in particular)
};

const CCase kCases[] = {
    {"comment that ends at once", "<!--> <img src=p.png onerror=alert(1)> -->", "src=\"p.png\""},
    {"comment with bang", "<!-- --!><img src=x onerror=alert(1)>", ""},
    {"CDATA in HTML", "<![CDATA[><img src=x onerror=alert(1)>]]>", ""},
    {"CDATA in SVG", "<svg><![CDATA[><img src=x onerror=alert(1)>]]></svg>", "&lt;img"},
    {"SVG style", "<svg><style><img src=x onerror=alert(1)></style></svg>", ""},
    {"SVG style, closed paragraph",
     "<svg></p><style><a id=\"</style><img src=1 onerror=alert(1)>\">", ""},
    {"SVG style with input image",
     "<svg><style><input type=image src=http://127.0.0.2:9/x.png></style></svg>", ""},
    {"MathML glyph style",
     "<math><mtext><table><mglyph><style><!--</style><img "
     "title=\"--&gt;&lt;/mglyph&gt;&lt;img&Tab;src=1&Tab;"
     "onerror=alert(1)&gt;\">",
     ""},
    {"MathML and SVG", "<math><mi><mglyph><svg><mtext><style><img src=x onerror=alert(1)></style>",
     ""},
    {"forms in MathML",
     "<form><math><mtext></form><form><mglyph><style></math><img src onerror=alert(1)>", ""},
    {"noscript attribute",
     "<noscript><p title=\"</noscript><img src=x onerror=alert(1)>\"></noscript>", ""},
    {"xmp, textarea, title",
     "<title><img src=x onerror=1></title><xmp><img src=x onerror=1></xmp>"
     "<textarea><img src=x onerror=1></textarea>",
     ""},
    {"template", "<p>t</p><template><img src=x onerror=1></template>", "<p>t</p>"},
    {"srcset with slash and backslash",
     "<img srcset=\"/\\127.0.0.2:9/x 1x\"><img srcset=\"ok.png 1x, //h/x 2x\">", ""},
    {"srcset of own pictures", "<img srcset=\"a.png 1x, images/b.png 2x\">",
     "srcset=\"a.png 1x, images/b.png 2x\""},
    {"backslashes before a host",
     "<img src=\"\\\\h\\x.png\"><img src=\"/\\h/x.png\"><img src=\"\\/h/x.png\">", ""},
    {"tab and newline in a scheme",
     "<img src=\"ht&#x09;tp://h/x.png\"><img src=\"h\ntt\tp://h/x.png\">"
     "<a href=\"jav\tascript:alert(1)\">j</a>",
     ">j</a>"},
    {"entities in a scheme",
     "<a href=\"jav&#x09;ascript:alert(1)\">a</a><a href=\"javascript&colon;alert(1)\">b</a>"
     "<a href=\"&#14;javascript:alert(1)\">c</a><a href=\"&#x20;data:text/html,x\">d</a>",
     ""},
    {"SVG links",
     "<svg><a xlink:href=\"javascript:alert(1)\"><text>x</text></a><a xlink:href=\"p.html\">"
     "<text>y</text></a></svg>",
     "href=\"p.html\""},
    {"SVG animation of a link",
     "<svg><a href=\"#\"><set attributeName=\"href\" to=\"javascript:alert(1)\"/>"
     "<animate attributeName=\"xlink:href\" values=\"http://h/\"/><text>z</text></a></svg>",
     ""},
    {"SVG pictures and uses",
     "<svg><image href=\"http://h/x.png\"/><image xlink:href=\"i.png\"/>"
     "<use href=\"http://h/s.svg#a\"/><rect fill=\"url(http://h/#p)\"/></svg>",
     "href=\"i.png\""},
    {"foreign object", "<svg><foreignObject><img src=x onerror=1></foreignObject></svg>", ""},
    {"iframe srcdoc", "<iframe srcdoc=\"<script>alert(1)</script>\"></iframe>", ""},
    {"meta refresh and base",
     "<meta http-equiv=\"refresh\" content=\"0;url=http://h/\"><base href=\"http://h/\">", ""},
    {"target top", "<a href=\"x.html\" target=\"_top\">x</a>", "href=\"x.html\""},
    {"outside pictures",
     "<img src=\"http://h/x.png\"><img src=\"//h/x.png\"><table background=\"http://h/b.png\">"
     "<tr><td>c</td></tr></table><video poster=\"http://h/p.png\"><source src=\"http://h/v\">"
     "</video>",
     ""},
    {"outside style",
     "<div style=\"background:url(http://h/x.png)\">a</div><div "
     "style=\"background:u\\72l(//h)\">b</div>"
     "<style>@import url(s.css); p{background:url('//h/x')}</style>"
     "<p style=\"x:expression(alert(1))\">c</p>",
     ""},
    {"own style", "<style>p{background:url(images/a.png)}</style><p style=\"color:red\">s</p>",
     "style=\"color:red\""},
    {"embedded programs",
     "<object data=\"http://h/x.swf\"><embed src=\"http://h/x.swf\"></object>"
     "<frameset><frame src=\"http://h/\"></frameset>",
     ""},
    {"forms",
     "<form action=\"http://h/\"><input name=q><button formaction=\"http://h/\">b</button></form>",
     ""},
    {"links to other hosts",
     "<a href=\"//h/\">a</a><a href=\"\\\\h\">b</a><area href=\"javascript:alert(1)\">"
     "<a href=\"https://web.example/\">w</a>",
     "href=\"https://web.example/\""},
    {"image map",
     "<img src=\"m.png\" usemap=\"#m\"><map name=\"m\"><area shape=\"rect\" coords=\"0,0,9,9\" "
     "href=\"http://h/\"><area href=\"other.html\"></map>",
     "usemap=\"#m\""},
    {"style sheets",
     "<link rel=stylesheet href=\"http://h/s.css\"><link rel=prefetch href=\"x\">"
     "<link rel=stylesheet href=\"../styles/s.css\">",
     "href=\"../styles/s.css\""},
};
} // namespace

TEST(HtmlCleaner, MutationAndAddressTricksComeOutHarmlessWhenParsedAgain)
{
    for (const CCase& c : kCases)
    {
        CDocumentPage page;
        ASSERT_TRUE(page.LoadHtml(c.szHtml, "/dir/page.html")) << c.szName;
        const std::string html = page.GetSafeHtml();
        const std::string fragment = CDocumentPage::CleanSelection(c.szHtml);
        for (const auto& [strWhere, strText, bFragment] :
             {std::tuple{std::string("page"), html, false},
              std::tuple{std::string("selection"), fragment, true}})
        {
            EXPECT_EQ(FaultsOf(strText, bFragment), std::vector<std::string>{})
                << c.szName << " (" << strWhere << "): " << strText;
            EXPECT_NE(strText.find(c.szKept), std::string::npos)
                << c.szName << " (" << strWhere << "): " << strText;
        }
        // Written out and cleaned again, the page is the same: the browser
        // builds the tree the cleaner saw.
        EXPECT_EQ(CDocumentPage::CleanSelection(fragment), fragment) << c.szName;
        CDocumentPage again;
        ASSERT_TRUE(again.LoadHtml(html, "/dir/page.html"));
        EXPECT_EQ(FaultsOf(again.GetSafeHtml(), false), std::vector<std::string>{}) << c.szName;
    }
    // The checker itself finds what the cases hide when nothing cleans them.
    std::size_t nFaultyInputs = 0;
    for (const CCase& c : kCases)
        nFaultyInputs += !FaultsOf(c.szHtml, false).empty();
    EXPECT_GE(nFaultyInputs, std::size(kCases) - 6);
}

TEST(HtmlCleaner, APageOverEightMegabytesIsShownCutWithANote)
{
    std::string html = "<html><head><title>Большой</title></head><body><h1>Начало</h1>";
    const std::string row =
        "<table><tr><td>строка таблицы с текстом</td><td>сумма 1000</td></tr></table>\n";
    while (html.size() < (38u << 20))
        html += row;
    html += "<p>Конец документа</p></body></html>";

    CDocumentPage page;
    ASSERT_TRUE(page.LoadHtml(html, "/big.html"));
    EXPECT_TRUE(page.IsCut());
    const std::string safe = page.GetSafeHtml();
    // The tree written out is a little longer than the source it came from.
    EXPECT_LE(safe.size(), CDocumentPage::kMaxPageBytes + CDocumentPage::kMaxPageBytes / 4);
    EXPECT_GT(safe.size(), CDocumentPage::kMaxPageBytes / 2);
    EXPECT_NE(safe.find(CDocumentPage::kCutNote), std::string::npos);
    EXPECT_EQ(safe.find("Конец документа"), std::string::npos);
    EXPECT_NE(page.GetText(100).find("Начало"), std::string::npos);
    // The note is the body's last element, outside any table the cut left open.
    EXPECT_NE(safe.rfind(std::string("</table><p id=\"") + CDocumentPage::kCutNoteId),
              std::string::npos);

    // Left for another view, the tree goes; the page's links stay.
    const std::size_t nLinks = page.GetLinks().size();
    page.ReleaseIfLarge();
    EXPECT_EQ(page.GetSafeHtml(), "");
    EXPECT_EQ(page.GetLinks().size(), nLinks);

    ASSERT_TRUE(page.LoadHtml("<p>Малый</p>", "/small.html"));
    page.ReleaseIfLarge();
    EXPECT_NE(page.GetSafeHtml().find("Малый"), std::string::npos)
        << "an ordinary page stays whole";
    EXPECT_FALSE(page.IsCut());
    EXPECT_EQ(page.GetSafeHtml().find(CDocumentPage::kCutNote), std::string::npos);
}

TEST(HtmlCleaner, AddressRules)
{
    for (const auto& [szValue, szResource, szLink] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"images/a.png", "images/a.png", "images/a.png"},
             {" \x01../a b.png\t", "../a b.png", "../a b.png"},
             {"/doc/x.png", "/doc/x.png", "/doc/x.png"},
             {"#part", "#part", "#part"},
             {"http://h/", nullptr, "http://h/"},
             {"HTTPS://h/", nullptr, "HTTPS://h/"},
             {"mailto:a@b", nullptr, "mailto:a@b"},
             {"about:SAMPLE_0", nullptr, "about:SAMPLE_0"},
             {"//h/x", nullptr, nullptr},
             {"/\\h/x", nullptr, nullptr},
             {"\\\\h\\x", nullptr, nullptr},
             {"\t/\n/h", nullptr, nullptr},
             {"java\nscript:x", nullptr, nullptr},
             {"data:text/html,x", nullptr, nullptr},
             {"file:///etc/passwd", nullptr, nullptr},
             {"c:\\x.png", nullptr, nullptr}})
    {
        const auto resource = CHtmlCleaner::OwnResourceAddress(szValue);
        const auto link = CHtmlCleaner::RoutedLinkAddress(szValue);
        EXPECT_EQ(resource.value_or("(none)"), szResource ? szResource : "(none)") << szValue;
        EXPECT_EQ(link.value_or("(none)"), szLink ? szLink : "(none)") << szValue;
    }
}
