#pragma once

#include "EncyclopediaSection.h"
#include "PartialList.h"
#include "PopupWin.h"

#include <boost/signals2/signal.hpp>

#include <map>
#include <string>

// The floating section selector: the first-level sections with their
// subsections (ShowSections), or the subsections of one (ShowSubSections);
// the section chosen is signalled. A library of many thousand sections would
// make one pop-up of every one of them, so the pop-up holds about what fits
// on a screen: the sections around the current one whose links come to about
// kMaxShownLinks (TopicsInRun), each with its first kMaxLinks subsections and
// a "more" link that shows all of them, or at most kMaxSubLinks subsections
// of one section; links above and below show more sections (CPartialList).
class CSelectSectionWin : public CPopupWin
{
public:
    using CPopupWin::CPopupWin;
    bool CreateSelector(CWnd* pOwner, int nId);

    // Fills the pop-up; Show... then places it with its top left corner at
    // the point.
    void ShowSections(const CEncyclopediaSection* pRoot, int nX, int nY);
    void ShowSubSections(const CEncyclopediaSection* pSection, int nX, int nY);
    void SetHighlightSection(const CEncyclopediaSection* pSection) { m_pHighlight = pSection; }
    void OnSelectCtrl(const std::string& strId);
    // The content is about to be freed: hidden, and no section kept.
    void ForgetContent();

    boost::signals2::signal<void(CEncyclopediaSection*)> m_sigSectionSelected;

    static constexpr int kColumns = 3;
    static constexpr std::size_t kMaxLinks = 20;
    static constexpr std::size_t kMaxShownLinks = 240;
    // How many of the parent's sections one run shows: as many as make
    // kMaxShownLinks links at their average (every one of a usual library's,
    // about ten of a library whose sections hold hundreds), one row at least.
    static std::size_t TopicsInRun(const CEncyclopediaSection& parent);
    static constexpr std::size_t kMaxSubLinks = 100;
    static constexpr int kSectionsWidth = 840;
    static constexpr int kSubSectionsWidth = 340;

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    std::string BuildSectionsHtml();
    std::string BuildSubSectionsHtml();
    // Fills the pop-up with the run of m_pShown's children and places it.
    void Render();
    // The index among pParent's children of the one that holds the current
    // section (CPartialList::kNone when none does).
    std::size_t CurrentIndexIn(const CEncyclopediaSection& parent) const;
    std::string LinkId(CEncyclopediaSection* pSection);
    std::string MoreLinkHtml(const CEncyclopediaSection& section, std::size_t nLeft);
    std::string MoreRunHtml(bool bDown, std::size_t nLeft) const;
    void ShowMoreOfRun(bool bDown);
    void Place(int nX, int nY, int nWidth, int nEstimatedHeight);

    const CEncyclopediaSection* m_pHighlight = nullptr;
    // What the pop-up shows: the run m_range of m_pShown's children, as
    // sections with their subsections (m_bTopics) or as one list of links.
    const CEncyclopediaSection* m_pShown = nullptr;
    bool m_bTopics = true;
    CPartialList::CRange m_range;
    std::map<std::string, CEncyclopediaSection*> m_ids;
    // The "more" links of the sections shown, and where the pop-up stands.
    std::map<std::string, const CEncyclopediaSection*> m_more;
    int m_nX = 0, m_nY = 0;
};
