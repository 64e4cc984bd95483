#pragma once

#include "Bookmark.h"
#include "HTMLayoutWin.h"
#include "StringGenerator.h"
#include "ViewHost.h"

#include <string>
#include <vector>

class CClientContext;

// The sections a search found (view kind 5), grouped under their first-level
// section, each with a snippet of its page with the query's word forms in
// bold. A large result is shown a screen at a time: the list is made of
// empty chunks that are filled as the user scrolls, so no change sent to the
// browser is ever larger than a chunk, and snippets are made only for what is
// shown. The view keeps how far the user scrolled, for Back and Forward.
class CSearchResultWin : public CHTMLayoutWin
{
public:
    static constexpr std::size_t kChunkSize = 20;

    CSearchResultWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    // With bRestore the list is filled as far as the view had been read and
    // scrolled back there.
    void ShowBookmark(CBookmark& view, bool bRestore);
    // Fills the next empty chunk; false when every chunk is filled.
    bool ShowMore();
    void OnOpenResult(std::size_t nIndex);
    void OnExpand(std::size_t nIndex);

    std::size_t GetResultCount() const { return m_items.size(); }
    // What the search of the view shown found, in one line: "Найдено 4
    // документа по запросу «налог»", or that nothing was found.
    const std::string& GetSummary() const { return m_strSummary; }
    std::size_t GetFilledChunks() const { return m_nFilled; }
    // "1 документ", "2 документа", "5 документов".
    static std::string CountDocuments(std::size_t nCount);
    // The content is about to be freed: the found sections go.
    void ForgetContent();

    bool OnFrontEndEvent(std::string_view type, const nlohmann::json& event) override;
    // Back to the results: the keyboard is on the result that was opened.
    bool FocusPage() override;

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    struct CItem
    {
        CEncyclopediaSection* m_pSection = nullptr;
        const CEncyclopediaSection* m_pGroup = nullptr; // its first-level section
        std::size_t m_nGroupSize = 0;                   // set on the group's first item
    };

    void BuildItems(const CBookmark& view);
    std::string Summary(const CBookmark& view) const;
    std::string BuildHead(const CBookmark& view) const;
    std::string ItemHtml(std::size_t nIndex);
    std::vector<CEncyclopediaSection*> FoundSubsections(const CEncyclopediaSection& section) const;
    void OpenSection(CEncyclopediaSection* pSection);

    // The view on screen when it is still this window's (views are owned
    // by the back/forward list and may be gone).
    CBookmark* View() const;

    CClientContext& m_context;
    IViewHost* m_pHost;
    CBookmark* m_pView = nullptr;
    std::string m_strSummary;
    std::set<std::string> m_highlightWords;
    std::vector<std::set<std::string>> m_highlightGroups;
    std::string m_strQuery;
    StringGenerator m_template;
    std::vector<CItem> m_items;
    std::size_t m_nFilled = 0;
};
