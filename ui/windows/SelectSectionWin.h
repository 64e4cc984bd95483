#pragma once

#include "EncyclopediaSection.h"
#include "PopupWin.h"

#include <boost/signals2/signal.hpp>

#include <map>
#include <string>

// The floating section selector: every first-level section with its
// subsections (ShowSections), or the subsections of one (ShowSubSections);
// the section chosen is signalled. A section with more than kMaxLinks
// subsections lists the first of them and a "more" link that shows all of
// its subsections in the pop-up: a library of many thousand sections would
// otherwise make one pop-up of every one of them.
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

    std::string BuildSectionsHtml(const CEncyclopediaSection* pRoot);
    std::string BuildSubSectionsHtml(const CEncyclopediaSection* pSection);

    boost::signals2::signal<void(CEncyclopediaSection*)> m_sigSectionSelected;

    static constexpr int kColumns = 3;
    static constexpr std::size_t kMaxLinks = 20;
    static constexpr int kSectionsWidth = 840;
    static constexpr int kSubSectionsWidth = 340;

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    std::string LinkId(CEncyclopediaSection* pSection);
    std::string MoreLinkHtml(const CEncyclopediaSection& section, std::size_t nLeft);
    void Place(int nX, int nY, int nWidth, int nEstimatedHeight);

    const CEncyclopediaSection* m_pHighlight = nullptr;
    std::map<std::string, CEncyclopediaSection*> m_ids;
    // The "more" links of the sections shown, and where the pop-up stands.
    std::map<std::string, const CEncyclopediaSection*> m_more;
    int m_nX = 0, m_nY = 0;
};
