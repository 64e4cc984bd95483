#pragma once

#include "EncyclopediaSection.h"
#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "StringGenerator.h"

#include <boost/signals2/signal.hpp>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// One generated row of the navigator: its hyperlink click reports the row's
// own id.
class CNavigatorItemCtrl : public CHTMLayoutCtrl
{
public:
    boost::signals2::signal<void(const std::string&)> m_sigSelect;
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;
};

// The column beside a document: the tree of the current first-level section
// (levels 2 to 4) and the "see also" links of the document shown. A list of
// more than kMaxRows sections shows kMaxRows of them around the one on
// screen, with a row above and below that shows kMaxRows more: a branch of
// thousands of rows would be built in full on every document shown.
class CNavigatorWin : public CHTMLayoutWin
{
public:
    static constexpr std::size_t kMaxRows = 200;

    using CHTMLayoutWin::CHTMLayoutWin;
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;

    // The first-level section whose tree is shown and the section on screen
    // (its path is marked and opened). Ids "ID%d" are numbered once per tree.
    void AssignSectionId(CEncyclopediaSection* pFirstLevel, CEncyclopediaSection* pCurrent);
    // The sections the document's "see also" links lead to.
    void SetSeeAlso(std::vector<CEncyclopediaSection*> seeAlso) { m_seeAlso = std::move(seeAlso); }
    // The sections a chosen prompt or phrase led to, when there are several:
    // listed above the tree (none: no list).
    void SetFoundSections(std::vector<CEncyclopediaSection*> sections, std::string strText)
    {
        m_found = std::move(sections);
        m_strFoundText = std::move(strText);
    }
    std::string GetFoundHtml() const;
    void OnSelectFound(const std::string& strId);
    void UpdateContent();
    // The content is about to be freed: nothing of its tree is kept (rows,
    // their ids, the open branches), so the next tree is numbered anew.
    void ForgetContent();

    void OnSelectCtrl(const std::string& strId);
    void OnSelectSeeAlso(const std::string& strId);
    CRect GetSelectSectionButtonRect() const;
    // The tree by keys, as a tree is worked everywhere: Up and Down move
    // between the rows shown, Home and End to the first and the last, Right
    // opens a branch or goes to its first row, Left closes it or goes to the
    // row above it. Enter opens, as a click does.
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

    // The rows of the tree as they are generated (for the page and for checks).
    std::string GetTreeHtml();
    std::string GetSeeAlsoHtml() const;
    CEncyclopediaSection* GetSectionById(const std::string& strId) const;
    std::string GetIdOf(const CEncyclopediaSection* pSection) const;
    CEncyclopediaSection* GetSelectedSecondLevel() const { return m_pSelected2; }
    bool IsExpanded(const CEncyclopediaSection* pSection) const
    {
        return m_expanded.count(pSection) > 0;
    }

    boost::signals2::signal<void(CEncyclopediaSection*)> m_sigSectionSelected;
    boost::signals2::signal<void(CEncyclopediaSection*)> m_sigSeeAlsoSelected;
    boost::signals2::signal<void()> m_sigSelectSectionClicked;
    boost::signals2::signal<void(CEncyclopediaSection*)> m_sigFoundSelected;

private:
    void AppendRows(std::string& html, const CEncyclopediaSection& section, int nLevel, bool bFirst,
                    bool bLast);
    // The shown part of a parent's children, and the rows that show more.
    void AppendChildren(std::string& html, const CEncyclopediaSection& parent, int nLevel,
                        bool bLast);
    std::pair<std::size_t, std::size_t> ShownRange(const CEncyclopediaSection& parent);
    std::string MoreRowHtml(const CEncyclopediaSection& parent, int nLevel, bool bDown,
                            std::size_t nLeft);
    void ShowMore(const std::string& strId);
    bool IsSelectedPath(const CEncyclopediaSection* pSection) const;
    void AttachItems();
    void DescribeRow(CElement& link) const;
    // The row that Tab enters the tree at: the only one in the Tab order.
    void MakeTabStop(CElement row);
    bool OpenOrClose(CElement row, bool bOpen);

    CEncyclopediaSection* m_pRoot = nullptr;
    CEncyclopediaSection* m_pCurrent = nullptr;
    CEncyclopediaSection* m_pSelected2 = nullptr;
    std::set<const CEncyclopediaSection*> m_expanded;
    std::map<std::string, CEncyclopediaSection*> m_ids;
    std::map<const CEncyclopediaSection*, std::string> m_idOf;
    std::vector<CEncyclopediaSection*> m_seeAlso;
    std::vector<CEncyclopediaSection*> m_found;
    std::string m_strFoundText;
    StringGenerator m_level2, m_level3, m_level4;
    // Long lists: the children [first, last) shown of a parent the user asked
    // to see more of, and what each "more" row of the tree asks for.
    std::map<const CEncyclopediaSection*, std::pair<std::size_t, std::size_t>> m_shown;
    std::map<std::string, std::pair<const CEncyclopediaSection*, bool>> m_moreRows;
    std::vector<std::unique_ptr<CNavigatorItemCtrl>> m_items;
    CHTMLayoutButtonCtrl m_selectButton;
    std::string m_strFocusId; // the row to give the focus back to after a rebuild
};
