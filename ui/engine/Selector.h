#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CDomNode;

// The simple CSS selectors window code and page behaviors use: type, #id,
// .class, [attr], [attr=value], [attr~=value], [attr^=value], the state
// pseudo-classes (:current, :checked, :expanded, :collapsed, :hover, :focus,
// :disabled, :first-child, :last-child), descendant and child combinators and
// comma lists. Anything else makes the selector match nothing.
class CSelector
{
public:
    explicit CSelector(std::string_view text);
    ~CSelector();
    CSelector(CSelector&&) noexcept;
    CSelector& operator=(CSelector&&) noexcept;

    bool IsValid() const { return m_bValid; }
    bool Matches(const CDomNode& node) const;
    // The specificity of the best matching alternative (ids, classes and
    // attributes, types folded into one number), or -1 when none matches.
    int MatchSpecificity(const CDomNode& node) const;

    struct CCompound;

private:
    // Each alternative is a chain of compounds from left to right, with the
    // combinator that joins each compound to the one before it.
    std::vector<std::vector<CCompound>> m_alternatives;
    bool m_bValid = false;
};
