#include "CssBehaviors.h"

#include <cctype>

namespace
{
std::string StripComments(std::string_view css)
{
    std::string out;
    out.reserve(css.size());
    for (std::size_t i = 0; i < css.size();)
    {
        if (css.compare(i, 2, "/*") == 0)
        {
            const std::size_t nEnd = css.find("*/", i + 2);
            if (nEnd == std::string_view::npos)
                break;
            i = nEnd + 2;
            out += ' ';
        }
        else
            out += css[i++];
    }
    return out;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// The value of "behavior" in a declaration block, or empty.
std::string FindBehaviorValue(std::string_view block)
{
    std::string found;
    std::size_t nStart = 0;
    while (nStart <= block.size())
    {
        std::size_t nEnd = block.find(';', nStart);
        if (nEnd == std::string_view::npos)
            nEnd = block.size();
        const std::string_view declaration = block.substr(nStart, nEnd - nStart);
        const std::size_t nColon = declaration.find(':');
        if (nColon != std::string_view::npos && Trim(declaration.substr(0, nColon)) == "behavior")
        {
            std::string_view value = Trim(declaration.substr(nColon + 1));
            const std::size_t nBlank = value.find_first_of(" \t\r\n!");
            found = std::string(value.substr(0, nBlank));
        }
        nStart = nEnd + 1;
    }
    return found;
}
} // namespace

void CCssBehaviors::AddStyleSheet(std::string_view cssText)
{
    const std::string css = StripComments(cssText);
    std::size_t nPos = 0;
    int nNesting = 0;
    std::size_t nSelectorStart = 0;
    while (nPos < css.size())
    {
        const std::size_t nOpen = css.find_first_of("{};", nPos);
        if (nOpen == std::string::npos)
            break;
        if (css[nOpen] == ';')
        {
            // An at-rule statement such as @import: not a selector.
            nPos = nSelectorStart = nOpen + 1;
            continue;
        }
        if (css[nOpen] == '}')
        {
            nNesting = std::max(0, nNesting - 1);
            nPos = nSelectorStart = nOpen + 1;
            continue;
        }
        const std::string_view prelude =
            Trim(std::string_view(css).substr(nSelectorStart, nOpen - nSelectorStart));
        if (prelude.starts_with("@"))
        {
            // @media and the like: their inner rules are read as ordinary rules.
            ++nNesting;
            nPos = nSelectorStart = nOpen + 1;
            continue;
        }
        const std::size_t nClose = css.find('}', nOpen + 1);
        const std::size_t nBlockEnd = nClose == std::string::npos ? css.size() : nClose;
        const std::string behavior =
            FindBehaviorValue(std::string_view(css).substr(nOpen + 1, nBlockEnd - nOpen - 1));
        if (!behavior.empty())
        {
            CSelector selector(prelude);
            if (selector.IsValid())
                m_rules.push_back(CRule{std::move(selector), behavior});
        }
        nPos = nSelectorStart = nBlockEnd + 1;
    }
}

std::vector<std::string> CCssBehaviors::FindImports(std::string_view cssText)
{
    std::vector<std::string> imports;
    const std::string css = StripComments(cssText);
    std::size_t nPos = 0;
    while ((nPos = css.find("@import", nPos)) != std::string::npos)
    {
        nPos += 7;
        const std::size_t nEnd = css.find(';', nPos);
        std::string_view rest = Trim(std::string_view(css).substr(
            nPos, nEnd == std::string::npos ? std::string::npos : nEnd - nPos));
        if (rest.starts_with("url("))
        {
            rest.remove_prefix(4);
            const std::size_t nClose = rest.find(')');
            rest = Trim(rest.substr(0, nClose));
        }
        if (!rest.empty() && (rest.front() == '"' || rest.front() == '\''))
        {
            const char quote = rest.front();
            rest.remove_prefix(1);
            rest = rest.substr(0, rest.find(quote));
        }
        else
            rest = rest.substr(0, rest.find_first_of(" \t\r\n"));
        if (!rest.empty())
            imports.emplace_back(rest);
    }
    return imports;
}

std::string CCssBehaviors::FindBehavior(const CDomNode& node) const
{
    const std::string* pBest = nullptr;
    int nBest = -1;
    for (const auto& rule : m_rules)
    {
        const int nSpecificity = rule.m_selector.MatchSpecificity(node);
        if (nSpecificity >= 0 && nSpecificity >= nBest)
        {
            nBest = nSpecificity;
            pBest = &rule.m_strBehavior;
        }
    }
    return pBest ? *pBest : std::string();
}
