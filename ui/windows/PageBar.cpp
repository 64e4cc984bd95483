#include "PageBar.h"

#include "HtmlDocument.h"
#include "Logger.h"

#include <algorithm>
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
