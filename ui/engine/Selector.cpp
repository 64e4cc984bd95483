#include "Selector.h"

#include "DomNode.h"

#include <cctype>

struct CSelector::CCompound
{
    enum ECombinator
    {
        NONE,
        DESCENDANT,
        CHILD,
    };
    struct CAttributeTest
    {
        std::string m_strName;
        char m_op = 0; // 0 presence, '=' equal, '~' word, '^' prefix
        std::string m_strValue;
    };
    ECombinator m_combinator = NONE;
    std::string m_strTag;
    std::vector<CAttributeTest> m_tests;
    unsigned m_nStates = 0;
    bool m_bFirstChild = false;
    bool m_bLastChild = false;
    int m_nSpecificity = 0;
};

namespace
{
using CCompound = CSelector::CCompound;

bool IsNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::string ToLowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

class CParser
{
public:
    explicit CParser(std::string_view text) : m_text(text) {}

    bool ParseList(std::vector<std::vector<CCompound>>& alternatives)
    {
        while (true)
        {
            std::vector<CCompound> chain;
            if (!ParseChain(chain))
                return false;
            alternatives.push_back(std::move(chain));
            SkipBlanks();
            if (AtEnd())
                return true;
            if (m_text[m_nPos] != ',')
                return false;
            ++m_nPos;
        }
    }

private:
    bool AtEnd() const { return m_nPos >= m_text.size(); }
    void SkipBlanks()
    {
        while (!AtEnd() && std::isspace(static_cast<unsigned char>(m_text[m_nPos])))
            ++m_nPos;
    }
    std::string ReadName()
    {
        const std::size_t nStart = m_nPos;
        while (!AtEnd() && IsNameChar(m_text[m_nPos]))
            ++m_nPos;
        return std::string(m_text.substr(nStart, m_nPos - nStart));
    }

    bool ParseChain(std::vector<CCompound>& chain)
    {
        SkipBlanks();
        CCompound::ECombinator combinator = CCompound::NONE;
        while (true)
        {
            CCompound compound;
            compound.m_combinator = combinator;
            if (!ParseCompound(compound))
                return false;
            chain.push_back(std::move(compound));
            const std::size_t nBefore = m_nPos;
            SkipBlanks();
            if (AtEnd() || m_text[m_nPos] == ',')
                return true;
            if (m_text[m_nPos] == '>')
            {
                ++m_nPos;
                SkipBlanks();
                combinator = CCompound::CHILD;
            }
            else if (m_nPos > nBefore)
                combinator = CCompound::DESCENDANT;
            else
                return false;
        }
    }

    bool ParseCompound(CCompound& compound)
    {
        bool bAny = false;
        if (!AtEnd() && m_text[m_nPos] == '*')
        {
            ++m_nPos;
            bAny = true;
        }
        else if (!AtEnd() && IsNameChar(m_text[m_nPos]))
        {
            compound.m_strTag = ToLowerAscii(ReadName());
            compound.m_nSpecificity += 1;
            bAny = true;
        }
        while (!AtEnd())
        {
            const char c = m_text[m_nPos];
            if (c == '#' || c == '.')
            {
                ++m_nPos;
                const std::string name = ReadName();
                if (name.empty())
                    return false;
                if (c == '#')
                {
                    compound.m_tests.push_back({"id", '=', name});
                    compound.m_nSpecificity += 10000;
                }
                else
                {
                    compound.m_tests.push_back({"class", '~', name});
                    compound.m_nSpecificity += 100;
                }
            }
            else if (c == '[')
            {
                if (!ParseAttribute(compound))
                    return false;
                compound.m_nSpecificity += 100;
            }
            else if (c == ':')
            {
                ++m_nPos;
                const std::string name = ToLowerAscii(ReadName());
                if (!ApplyPseudo(compound, name))
                    return false;
                compound.m_nSpecificity += 100;
            }
            else
                break;
            bAny = true;
        }
        return bAny;
    }

    bool ParseAttribute(CCompound& compound)
    {
        ++m_nPos; // '['
        SkipBlanks();
        CCompound::CAttributeTest test;
        test.m_strName = ToLowerAscii(ReadName());
        if (test.m_strName.empty())
            return false;
        SkipBlanks();
        if (AtEnd())
            return false;
        if (m_text[m_nPos] != ']')
        {
            char op = m_text[m_nPos];
            if (op == '~' || op == '^')
                ++m_nPos;
            else
                op = '=';
            if (AtEnd() || m_text[m_nPos] != '=')
                return false;
            ++m_nPos;
            SkipBlanks();
            test.m_op = op;
            if (!AtEnd() && (m_text[m_nPos] == '"' || m_text[m_nPos] == '\''))
            {
                const char quote = m_text[m_nPos++];
                const std::size_t nEnd = m_text.find(quote, m_nPos);
                if (nEnd == std::string_view::npos)
                    return false;
                test.m_strValue = m_text.substr(m_nPos, nEnd - m_nPos);
                m_nPos = nEnd + 1;
            }
            else
                test.m_strValue = ReadName();
            SkipBlanks();
            if (AtEnd() || m_text[m_nPos] != ']')
                return false;
        }
        ++m_nPos;
        compound.m_tests.push_back(std::move(test));
        return true;
    }

    static bool ApplyPseudo(CCompound& compound, const std::string& name)
    {
        static const std::pair<const char*, unsigned> kStates[] = {
            {"current", STATE_CURRENT},   {"checked", STATE_CHECKED},
            {"expanded", STATE_EXPANDED}, {"collapsed", STATE_COLLAPSED},
            {"hover", STATE_HOVER},       {"focus", STATE_FOCUS},
            {"disabled", STATE_DISABLED}, {"popup", STATE_POPUP},
        };
        for (const auto& [szName, nState] : kStates)
            if (name == szName)
            {
                compound.m_nStates |= nState;
                return true;
            }
        if (name == "first-child")
            compound.m_bFirstChild = true;
        else if (name == "last-child")
            compound.m_bLastChild = true;
        else
            return false;
        return true;
    }

    std::string_view m_text;
    std::size_t m_nPos = 0;
};

bool HasWord(std::string_view list, std::string_view word)
{
    std::size_t nPos = 0;
    while (nPos < list.size())
    {
        while (nPos < list.size() && std::isspace(static_cast<unsigned char>(list[nPos])))
            ++nPos;
        std::size_t nEnd = nPos;
        while (nEnd < list.size() && !std::isspace(static_cast<unsigned char>(list[nEnd])))
            ++nEnd;
        if (nEnd > nPos && list.substr(nPos, nEnd - nPos) == word)
            return true;
        nPos = nEnd;
    }
    return false;
}

const CDomNode* SiblingElement(const CDomNode& node, bool bFirst)
{
    if (!node.m_pParent)
        return nullptr;
    const auto& siblings = node.m_pParent->m_children;
    if (bFirst)
    {
        for (const auto& pChild : siblings)
            if (pChild->IsElement())
                return pChild.get();
    }
    else
    {
        for (auto it = siblings.rbegin(); it != siblings.rend(); ++it)
            if ((*it)->IsElement())
                return it->get();
    }
    return nullptr;
}

bool MatchesCompound(const CCompound& compound, const CDomNode& node)
{
    if (!node.IsElement())
        return false;
    if (!compound.m_strTag.empty() && compound.m_strTag != node.m_strTag)
        return false;
    if ((node.m_nState & compound.m_nStates) != compound.m_nStates)
        return false;
    if (compound.m_bFirstChild && SiblingElement(node, true) != &node)
        return false;
    if (compound.m_bLastChild && SiblingElement(node, false) != &node)
        return false;
    for (const auto& test : compound.m_tests)
    {
        const std::string* pValue = node.FindAttribute(test.m_strName);
        if (!pValue)
            return false;
        switch (test.m_op)
        {
        case '=':
            if (*pValue != test.m_strValue)
                return false;
            break;
        case '~':
            if (!HasWord(*pValue, test.m_strValue))
                return false;
            break;
        case '^':
            if (!pValue->starts_with(test.m_strValue))
                return false;
            break;
        default: break;
        }
    }
    return true;
}

// Matches the chain ending at index nLast against the node, walking up.
bool MatchesChain(const std::vector<CCompound>& chain, std::size_t nLast, const CDomNode& node)
{
    if (!MatchesCompound(chain[nLast], node))
        return false;
    if (nLast == 0)
        return true;
    const auto combinator = chain[nLast].m_combinator;
    for (const CDomNode* pUp = node.m_pParent; pUp; pUp = pUp->m_pParent)
    {
        if (MatchesChain(chain, nLast - 1, *pUp))
            return true;
        if (combinator == CCompound::CHILD)
            return false;
    }
    return false;
}
} // namespace

CSelector::CSelector(std::string_view text)
{
    CParser parser(text);
    m_bValid = parser.ParseList(m_alternatives);
    if (!m_bValid)
        m_alternatives.clear();
}

CSelector::~CSelector() = default;
CSelector::CSelector(CSelector&&) noexcept = default;
CSelector& CSelector::operator=(CSelector&&) noexcept = default;

bool CSelector::Matches(const CDomNode& node) const
{
    return MatchSpecificity(node) >= 0;
}

int CSelector::MatchSpecificity(const CDomNode& node) const
{
    int nBest = -1;
    for (const auto& chain : m_alternatives)
    {
        if (chain.empty() || !MatchesChain(chain, chain.size() - 1, node))
            continue;
        int nSpecificity = 0;
        for (const auto& compound : chain)
            nSpecificity += compound.m_nSpecificity;
        nBest = std::max(nBest, nSpecificity);
    }
    return nBest;
}
