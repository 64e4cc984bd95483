#include "CssBehaviors.h"
#include "HtmlDocument.h"
#include "HtmlParser.h"
#include "Selector.h"
#include "TextUtils.h"

#include <gtest/gtest.h>

#include <functional>

#include <nlohmann/json.hpp>

namespace
{
const char* kList = R"(<html><body>
<ul id="list" class="menu big">
  <li id="a" class="item" data-kind="doc">A</li>
  <li id="b" class="item current-item" data-kind="folder"><span id="b1">B</span></li>
  <li id="c" class="item" data-kind="document">C</li>
</ul>
<p id="para">text <b id="bold">bold</b></p>
</body></html>)";

std::string Ids(const std::vector<CElement>& elements)
{
    std::string out;
    for (const auto& element : elements)
        out += element.GetAttribute("id") + " ";
    return out;
}

struct CDomFixture : ::testing::Test
{
    CDomFixture() { EXPECT_TRUE(doc.LoadHtml(kList)); }
    CElement Root() const { return doc.GetRoot(); }
    CHtmlDocument doc;
};
} // namespace

TEST_F(CDomFixture, SimpleSelectors)
{
    EXPECT_EQ(Ids(Root().Select("li")), "a b c ");
    EXPECT_EQ(Ids(Root().Select("#b")), "b ");
    EXPECT_EQ(Ids(Root().Select(".item")), "a b c ");
    EXPECT_EQ(Ids(Root().Select("li.current-item")), "b ");
    EXPECT_EQ(Ids(Root().Select("[data-kind]")), "a b c ");
    EXPECT_EQ(Ids(Root().Select("[data-kind=doc]")), "a ");
    EXPECT_EQ(Ids(Root().Select("[data-kind^='doc']")), "a c ");
    EXPECT_EQ(Ids(Root().Select("ul[class~=big] > li:first-child")), "a ");
    EXPECT_EQ(Ids(Root().Select("li:last-child")), "c ");
    EXPECT_EQ(Ids(Root().Select("ul span")), "b1 ");
    EXPECT_EQ(Ids(Root().Select("ul > span")), "") << "a child, not any descendant";
    EXPECT_EQ(Ids(Root().Select("#c, #a")), "a c ") << "document order";
    EXPECT_EQ(Ids(Root().Select("LI#A")), "") << "ids compare exactly";
    for (const char* szBad : {"", "li[", "li:nth-child(2)", "a >", ",", "li::after", "#"})
    {
        EXPECT_FALSE(CSelector(szBad).IsValid()) << szBad;
        EXPECT_TRUE(Root().Select(szBad).empty()) << szBad;
    }

    // States take part, as the pages' behaviors and the code use them.
    CElement b = Root().FindById("b");
    EXPECT_FALSE(b.Matches("li:current"));
    b.SetState(STATE_CURRENT | STATE_CHECKED);
    EXPECT_TRUE(b.Matches("li:current:checked"));
    EXPECT_EQ(Root().FindById("b1").SelectParent("li:current").GetAttribute("id"), "b");
    EXPECT_EQ(Root().SelectFirst(".item:current").GetAttribute("id"), "b");
}

TEST_F(CDomFixture, TextHtmlAndAttributesRoundTrip)
{
    CElement para = Root().FindById("para");
    EXPECT_EQ(para.GetText(), "text bold");
    EXPECT_EQ(para.GetHtml(), "text <b id=\"bold\">bold</b>");
    EXPECT_EQ(para.GetHtml(true), "<p id=\"para\">text <b id=\"bold\">bold</b></p>");
    para.SetText("a < b & \"c\"");
    EXPECT_EQ(para.GetHtml(), "a &lt; b &amp; \"c\"");
    para.SetAttribute("title", "x\"<y>&");
    EXPECT_EQ(para.GetHtml(true),
              "<p id=\"para\" title=\"x&quot;&lt;y>&amp;\">a &lt; b &amp; \"c\"</p>");
    para.SetStyleAttribute("color", "red");
    para.SetStyleAttribute("width", "10px");
    para.SetStyleAttribute("color", "blue");
    EXPECT_EQ(para.GetStyleAttribute("color"), "blue");
    EXPECT_EQ(para.GetStyleAttribute("width"), "10px");
    para.SetStyleAttribute("width", "");
    EXPECT_EQ(para.GetAttribute("style"), "color:blue;");
    para.RemoveAttribute("title");
    EXPECT_FALSE(para.HasAttribute("title"));
    para.SetAttribute("data-uid", "1");
    EXPECT_FALSE(para.HasAttribute("data-uid")) << "uids are the engine's";

    // Generated rows (from the templates) become elements with uids of this page.
    ASSERT_TRUE(para.SetHtml("<table><tr><td id=\"cell\">1</td></tr></table><img src=x.png>tail"));
    CElement cell = para.FindById("cell");
    ASSERT_TRUE(cell.IsValid());
    EXPECT_EQ(doc.GetElementByUid(cell.GetUid()), cell);
    EXPECT_EQ(para.GetChildCount(), 2u);
    EXPECT_EQ(para.GetChild(1).GetTag(), "img");
    EXPECT_NE(para.GetHtml().find("<img src=\"x.png\">tail"), std::string::npos)
        << "no end tag for a void element";
}

TEST_F(CDomFixture, ElementsMoveAndKeepTheirHandles)
{
    CElement list = Root().FindById("list");
    CElement a = list.FindById("a");
    const unsigned nUid = a.GetUid();
    ASSERT_TRUE(list.Insert(a, 2));
    EXPECT_EQ(Ids(list.Select("li")), "b c a ");
    EXPECT_EQ(a.GetUid(), nUid) << "a moved element keeps its uid";
    EXPECT_EQ(a.GetIndex(), 2u);
    EXPECT_FALSE(a.Insert(list, 0)) << "an element cannot hold its own ancestor";

    CElement fresh = list.CreateElement("li", "D");
    fresh.SetAttribute("id", "d");
    ASSERT_TRUE(list.Append(fresh));
    EXPECT_EQ(Ids(list.Select("li")), "b c a d ");
    fresh.Detach();
    EXPECT_TRUE(fresh.IsValid()) << "the handle outlives the tree";
    EXPECT_FALSE(fresh.GetNode()->IsInDocument());
    EXPECT_EQ(fresh.GetText(), "D");
    EXPECT_EQ(Ids(list.Select("li")), "b c a ");

    // Another window's document gives the element new uids.
    CHtmlDocument other;
    ASSERT_TRUE(other.LoadHtml("<html><body><div id=\"host\"></div></body></html>"));
    CElement host = other.GetRoot().FindById("host");
    ASSERT_TRUE(host.Append(a));
    EXPECT_EQ(a.GetDocument(), &other);
    EXPECT_EQ(other.GetElementByUid(a.GetUid()), a);
    EXPECT_EQ(Ids(list.Select("li")), "b c ");
}

TEST_F(CDomFixture, ControlValues)
{
    ASSERT_TRUE(doc.LoadHtml(
        R"(<html><body><input id="t" type="text" value="v"><input id="c" type="checkbox" checked>
        <textarea id="x">old</textarea><span id="s">text</span></body></html>)"));
    CElement text = Root().FindById("t"), check = Root().FindById("c"), area = Root().FindById("x");
    CElement span = Root().FindById("s");
    EXPECT_EQ(check.GetValue(), "1") << "the page's own state";
    EXPECT_EQ(text.GetValue(), "v");
    EXPECT_EQ(area.GetValue(), "old");
    check.SetIntValue(0);
    EXPECT_EQ(check.GetIntValue(), 0);
    check.SetIntValue(1);
    text.SetValue("новое");
    EXPECT_EQ(text.GetValue(), "новое");
    area.SetValue("abc");
    EXPECT_EQ(area.GetValue(), "abc");
    span.SetValue("12");
    EXPECT_EQ(span.GetIntValue(), 12);
    span.SetValue("x");
    EXPECT_EQ(span.GetIntValue(), 0);
    // What the browser gets: values and states from the nodes, not the markup.
    const std::string html = doc.GetFullDocument("").at("html");
    EXPECT_NE(html.find("value=\"новое\""), std::string::npos);
    EXPECT_NE(html.find("data-state=\"checked\" checked"), std::string::npos);
    EXPECT_NE(html.find(">abc</textarea>"), std::string::npos);
}

TEST(CssBehaviors, MostSpecificRuleWinsAndImportsAreFound)
{
    CCssBehaviors behaviors;
    behaviors.AddStyleSheet(R"(/* a comment { behavior: none } */
        @import url(dialog.css);
        @media screen { .link { behavior: hyperlink; color: red } }
        span { behavior: button !important; }
        #special.link { behavior: none }
        .link:hover { behavior: hover-click })");
    EXPECT_EQ(behaviors.GetRuleCount(), 4u);
    EXPECT_EQ(CCssBehaviors::FindImports("@import url(\"a.css\"); @import 'b.css'; @import c.css;"),
              (std::vector<std::string>{"a.css", "b.css", "c.css"}));

    CHtmlDocument doc;
    ASSERT_TRUE(
        doc.LoadHtml(R"(<html><body><span id="plain">p</span><span id="l" class="link">l</span>
        <span id="special" class="link">s</span></body></html>)"));
    CElement root = doc.GetRoot();
    EXPECT_EQ(behaviors.FindBehavior(*root.FindById("plain").GetNode()), "button");
    EXPECT_EQ(behaviors.FindBehavior(*root.FindById("l").GetNode()), "hyperlink");
    EXPECT_EQ(behaviors.FindBehavior(*root.FindById("special").GetNode()), "none");
}

TEST(HtmlParser, HostileInputEndsInABoundedTree)
{
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<div>";
    auto pRoot = CHtmlParser::ParseDocument("<html><body>" + deep + "</body></html>");
    ASSERT_NE(pRoot, nullptr);
    int nDepth = 0;
    for (const CDomNode* pNode = pRoot.get(); pNode;
         pNode = pNode->m_children.empty() ? nullptr : pNode->m_children.back().get())
        ++nDepth;
    EXPECT_LE(nDepth, 260) << "deep nesting is cut";
    EXPECT_EQ(CHtmlParser::ParseDocument(""), nullptr);
    EXPECT_TRUE(CHtmlParser::ParseFragment("").empty());
    auto pOdd = CHtmlParser::ParseDocument(std::string("<p>a\0b</p>", 10));
    EXPECT_NE(pOdd, nullptr);
}

TEST(HtmlParser, BytesThatAreNotUtf8ReadAsReplacementCharactersAndWriteBackTheSame)
{
    const char* const kInputs[] = {
        // what the fuzz target found: an attribute kept the bytes, its copy written back read them
        // as Latin-1
        "<li title=\"x &quot;y&quo\xFF\xFF\xFF\xFFlt;z&gt;\">\xD0\xA2\xD0\xB5\xFF\xFF-\xFF\x61mp; <b>\xD0\xB6</b></li>",
        "<p title=\"a\xFF\">b\xC3</p>", "<html><body><i>\xE2\x82</i>\xF0\x9F\x98</body></html>",
        "<p>\xED\xA0\x80 \xC0\xAF</p>", // a surrogate and an overlong slash
    };
    std::function<void(const CDomNode&)> expectValid = [&](const CDomNode& node) {
        EXPECT_TRUE(CTextUtils::IsValidUtf8(node.m_strText)) << node.m_strText;
        for (const auto& [name, value] : node.m_attributes)
            EXPECT_TRUE(CTextUtils::IsValidUtf8(value)) << name << "=" << value;
        for (const auto& pChild : node.m_children)
            expectValid(*pChild);
    };
    for (const char* szInput : kInputs)
    {
        SCOPED_TRACE(szInput);
        std::string written;
        for (const auto& pNode : CHtmlParser::ParseFragment(szInput))
        {
            expectValid(*pNode);
            CHtmlWriter::WriteNode(*pNode, false, written);
        }
        std::string again;
        for (const auto& pNode : CHtmlParser::ParseFragment(written))
            CHtmlWriter::WriteNode(*pNode, false, again);
        EXPECT_EQ(again, written);
        const auto pPage = CHtmlParser::ParseDocument(szInput);
        ASSERT_NE(pPage, nullptr);
        expectValid(*pPage);
    }
}
