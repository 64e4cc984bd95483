// Arbitrary markup through the engine's page and fragment parser and its
// writer: the tree is whole (every child knows its parent, nesting is cut at
// the parser's bound, a page has a head and a body), and what the writer
// escapes reads back as the same attribute values and texts.
#include "HtmlParser.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace
{
constexpr int kMaxDepth = 260; // the parser cuts at 256 below the page

void Check(bool bCondition)
{
    if (!bCondition)
        std::abort();
}

struct CSamples
{
    std::vector<std::string> m_values;
    std::vector<std::string> m_texts;
};

void CheckTree(const CDomNode& node, int nDepth, CSamples& samples)
{
    Check(nDepth <= kMaxDepth);
    if (!node.IsElement())
        return;
    for (const auto& [name, value] : node.m_attributes)
        if (samples.m_values.size() < 8)
            samples.m_values.push_back(value);
    const bool bRaw =
        node.m_strTag == "script" || node.m_strTag == "style" || node.m_strTag == "textarea";
    for (const auto& pChild : node.m_children)
    {
        Check(pChild && pChild->m_pParent == &node);
        if (pChild->m_type == CDomNode::TEXT && !bRaw && samples.m_texts.size() < 8 &&
            pChild->m_strText.find_first_not_of(" \t\r\n\f") != std::string::npos)
            samples.m_texts.push_back(pChild->m_strText);
        CheckTree(*pChild, nDepth + 1, samples);
    }
}

const CDomNode* OnlyElement(const std::vector<std::shared_ptr<CDomNode>>& nodes,
                            std::string_view tag)
{
    return nodes.size() == 1 && nodes[0]->IsElement() && nodes[0]->m_strTag == tag ? nodes[0].get()
                                                                                   : nullptr;
}

void CheckEscaping(const CSamples& samples)
{
    for (const std::string& value : samples.m_values)
    {
        const auto nodes = CHtmlParser::ParseFragment(
            "<b title=\"" + CHtmlWriter::EscapeAttribute(value) + "\">x</b>");
        const CDomNode* pB = OnlyElement(nodes, "b");
        Check(pB && pB->FindAttribute("title") && *pB->FindAttribute("title") == value);
    }
    for (const std::string& text : samples.m_texts)
    {
        const auto nodes =
            CHtmlParser::ParseFragment("<b>" + CHtmlWriter::EscapeText(text) + "</b>");
        const CDomNode* pB = OnlyElement(nodes, "b");
        Check(pB && pB->m_children.size() == 1 && pB->m_children[0]->m_strText == text);
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    const std::string_view html(reinterpret_cast<const char*>(pData), nSize);
    CSamples samples;
    if (const auto pPage = CHtmlParser::ParseDocument(html))
    {
        // Text or a body before the head is still let through (the browser
        // would move it); what the parser promises is that both are there.
        auto has = [&](std::string_view tag) {
            for (const auto& pChild : pPage->m_children)
                if (pChild->m_strTag == tag)
                    return true;
            return false;
        };
        Check(pPage->m_strTag == "html" && has("head") && has("body"));
        CheckTree(*pPage, 0, samples);
        std::string out;
        CHtmlWriter::WriteNode(*pPage, true, out);
        out.clear();
        CHtmlWriter::WriteNode(*pPage, false, out);
        Check(CHtmlParser::ParseDocument(out) != nullptr);
    }
    for (const auto& pNode : CHtmlParser::ParseFragment(html))
    {
        Check(pNode->m_pParent == nullptr);
        CheckTree(*pNode, 1, samples);
    }
    CheckEscaping(samples);
    return 0;
}
