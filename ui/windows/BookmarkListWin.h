#pragma once

#include "Bookmark.h"
#include "HTMLayoutCtrl.h"
#include "HTMLayoutWin.h"
#include "StringGenerator.h"
#include "ViewHost.h"

#include <memory>
#include <string>
#include <vector>

class CClientContext;

// The user's bookmarks (view kind 3): newest first, twelve to a page in rows
// of four, each with its flag and a delete button. The page on screen is kept
// in the view itself.
class CBookmarkListWin : public CHTMLayoutWin
{
public:
    static constexpr int kPerPage = 12;
    static constexpr int kPerRow = 4;
    static constexpr const char* kDeleteLabel = "Удалить";

    CBookmarkListWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId) override;
    void ShowBookmark(CBookmark& view);
    void UpdateBookmarkList();
    void UpdatePages();

    void OnGoToBookmark(const std::string& strId);
    void OnFlagBookmark(const std::string& strId);
    void OnDeleteBookmark(const std::string& strId);
    void OnPage(const std::string& strId);

    int GetCurrentPage() const;
    int GetPageCount() const;
    // The stored index of the bookmark in a cell (numbered from 1) of a page,
    // or -1 when there is none.
    static int StoredIndex(int nCell, int nPage, std::size_t nCount);
    // The grid of one page: rows of four cells from the template, or the
    // no-bookmarks block.
    static std::string BuildGrid(const CBookmarkVector& bookmarks, int nPage,
                                 const StringGenerator& cell);

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;

private:
    CBookmarkVector* Bookmarks() const;
    // The view on screen when it is still this window's.
    CBookmark* View() const;
    CBookmark* FromCellId(const std::string& strId, std::size_t nPrefix, int& nIndex) const;
    void SetPage(int nPage);
    void Save();

    CClientContext& m_context;
    IViewHost* m_pHost;
    CBookmark* m_pView = nullptr;
    int m_nPage = 0;
    StringGenerator m_cell;
};
