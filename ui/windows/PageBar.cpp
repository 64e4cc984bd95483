#include "PageBar.h"

#include "HtmlDocument.h"
#include "Logger.h"

#include <algorithm>
#include <charconv>

std::vector<int> CPageBar::ShownPages(int nCurrentPage, int nPageCount)
{
    std::vector<int> pages;
    if (nPageCount <= kMaxCells)
    {
        for (int nPage = 0; nPage < nPageCount; ++nPage)
            pages.push_back(nPage);
        return pages;
    }
    // The first and the last page, and a run around the current one that
    // keeps its length at either end, so the bar is as wide on every page.
    const int nCurrent = std::clamp(nCurrentPage, 0, nPageCount - 1);
    const int nFirst = std::clamp(nCurrent - kAround, 1, nPageCount - 2 - 2 * kAround);
    pages.push_back(0);
    for (int nPage = nFirst; nPage <= nFirst + 2 * kAround; ++nPage)
        pages.push_back(nPage);
    pages.push_back(nPageCount - 1);
    return pages;
}

std::string CPageBar::BuildHtml(int nCurrentPage, int nPageCount)
{
    if (nPageCount < 1)
        return {}; // an empty list has no pages, so no cells
    std::string html = "<table class=\"page_bar\" role=\"navigation\" aria-label=\"Страницы\"><tr>";
    if (nCurrentPage > 0)
        html +=
            "<td class=\"page_num\" id=\"PREV\" role=\"link\" aria-label=\"Предыдущая страница\">"
            "<img id=\"img_left_arrow\" src=\"page_arrow_left.png\" alt=\"\"></td>";
    int nPrevious = -1;
    for (const int nPage : ShownPages(nCurrentPage, nPageCount))
    {
        if (nPage > nPrevious + 1)
            html += "<td class=\"page_gap\" aria-hidden=\"true\">…</td>";
        nPrevious = nPage;
        const bool bSelected = nPage == nCurrentPage;
        html += "<td class=\"page_num\" id=\"PAGE" + std::to_string(nPage) + "\" selected=\"" +
                (bSelected ? "1" : "0") + "\" role=\"link\"" +
                (bSelected ? " aria-current=\"page\"" : "") + ">" + std::to_string(nPage + 1) +
                "</td>";
    }
    if (nCurrentPage + 1 < nPageCount)
        html +=
            "<td class=\"page_num\" id=\"NEXT\" role=\"link\" aria-label=\"Следующая страница\">"
            "<img id=\"img_right_arrow\" src=\"page_arrow_right.png\" alt=\"\"></td>";
    return html + "</tr></table>";
}

bool CPageBar::PageOf(std::string_view id, int nCurrentPage, int& nPage)
{
    if (id == "PREV")
        nPage = nCurrentPage - 1;
    else if (id == "NEXT")
        nPage = nCurrentPage + 1;
    else if (id.starts_with("PAGE") && id.size() > 4)
    {
        const auto [pEnd, error] = std::from_chars(id.data() + 4, id.data() + id.size(), nPage);
        if (error != std::errc() || pEnd != id.data() + id.size())
            return false;
    }
    else
        return false;
    return true;
}

int CPageBar::PageCount(std::size_t nItems, std::size_t nPerPage)
{
    return nPerPage == 0 ? 0 : static_cast<int>((nItems + nPerPage - 1) / nPerPage);
}

void CPageBar::Show(const CElement& root, int nCurrentPage, int nPageCount)
{
    CElement pages = root.FindById("pages");
    if (!pages.IsValid())
    {
        KLOG_ERR << "Can't pages element";
        return;
    }
    pages.SetHtml(BuildHtml(nCurrentPage, nPageCount));
}

bool CPageBar::Turn(std::string_view id, int nCurrentPage, int nPageCount, int& nPage)
{
    if (!PageOf(id, nCurrentPage, nPage))
    {
        KLOG_ERR << "Inalid page element ID=" << id;
        return false;
    }
    nPage = std::clamp(nPage, 0, std::max(0, nPageCount - 1));
    return true;
}
