#include "PageBar.h"

#include <charconv>

std::string CPageBar::BuildHtml(int nCurrentPage, int nPageCount)
{
    if (nPageCount < 1)
        return {}; // an empty list has no pages, so no cells
    std::string html = "<table class=\"page_bar\" role=\"navigation\" aria-label=\"Страницы\"><tr>";
    if (nCurrentPage > 0)
        html +=
            "<td class=\"page_num\" id=\"PREV\" role=\"link\" aria-label=\"Предыдущая страница\">"
            "<img id=\"img_left_arrow\" src=\"page_arrow_left.png\" alt=\"\"></td>";
    for (int nPage = 0; nPage < nPageCount; ++nPage)
    {
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
