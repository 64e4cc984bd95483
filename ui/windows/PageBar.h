#pragma once

#include <string>
#include <string_view>
#include <vector>

class CElement;

// The row of page numbers under a paged list (history, bookmarks): "PREV"
// when there is a page before, "PAGE%d" for each page shown (the current one
// selected), "NEXT" when there is one after. A long list shows the first and
// the last page and those around the current one, with a gap mark between:
// a bar of every page of a long history would run off the window's edges.
class CPageBar
{
public:
    // Up to this many pages, every page has its cell.
    static constexpr int kMaxCells = 11;
    // Pages shown on each side of the current one in a longer list.
    static constexpr int kAround = 3;

    static std::string BuildHtml(int nCurrentPage, int nPageCount);
    // The pages that have a cell, in order (every page up to kMaxCells).
    static std::vector<int> ShownPages(int nCurrentPage, int nPageCount);
    // The page an element id of the bar asks for: PREV, NEXT or PAGEn
    // (counted from 0); false for any other id.
    static bool PageOf(std::string_view id, int nCurrentPage, int& nPage);
    // Pages needed for nItems at nPerPage (at least one page per item started).
    static int PageCount(std::size_t nItems, std::size_t nPerPage);

    // What a paged window does with its bar, the same for each of them:
    // writes the bar into the page's "pages" element,
    static void Show(const CElement& root, int nCurrentPage, int nPageCount);
    // and turns to the page a clicked cell asks for, kept among the pages;
    // false (and logged) for an id that names no page.
    static bool Turn(std::string_view id, int nCurrentPage, int nPageCount, int& nPage);
};
