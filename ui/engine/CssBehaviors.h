#pragma once

#include "Selector.h"

#include <string>
#include <string_view>
#include <vector>

// The "behavior" declarations of a page's style sheets: which named element
// behavior each selector asks for. The browser ignores the property; the
// engine uses it to attach behaviors such as "hyperlink".
class CCssBehaviors
{
public:
    // Adds the rules of one style sheet, in order; later rules win on equal
    // specificity, as in CSS.
    void AddStyleSheet(std::string_view css);
    // The names of style sheets a sheet imports (@import url(x) / "x").
    static std::vector<std::string> FindImports(std::string_view css);
    // The behavior for the element, or empty.
    std::string FindBehavior(const CDomNode& node) const;
    std::size_t GetRuleCount() const { return m_rules.size(); }

private:
    struct CRule
    {
        CSelector m_selector;
        std::string m_strBehavior;
    };
    std::vector<CRule> m_rules;
};
