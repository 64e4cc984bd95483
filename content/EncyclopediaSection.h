#pragma once

#include <memory>
#include <string>
#include <vector>

// One node of the encyclopedia's section tree. A section owns its children;
// the root is a section without attributes whose children are the
// first-level sections.
struct CEncyclopediaSection
{
    explicit CEncyclopediaSection(CEncyclopediaSection* pParent = nullptr) : m_pParent(pParent) {}

    CEncyclopediaSection* m_pParent;
    unsigned m_nId = 0;
    std::string m_strName;
    std::string m_strURL;    // "/dir/page.html", empty for a grouping node
    std::string m_strAnchor; // anchor inside the page, empty for the whole page
    std::string m_strCode;   // short code; first-level sections are found by it
    std::vector<std::unique_ptr<CEncyclopediaSection>> m_children;
};
