#include "BookmarkListWin.h"

#include "BlankInfoData.h"
#include "ClientContext.h"
#include "EncyclopediaData.h"
#include "Logger.h"
#include "PageBar.h"

#include <algorithm>

namespace
{
std::string SectionOf(const CBookmark& bookmark)
{
    if (bookmark.m_pSection)
    {
        const CEncyclopediaSection* pFirst =
            bookmark.m_pSection->m_pParent
                ? CEncyclopediaData::GetFirstLevelSectionItem(bookmark.m_pSection)
                : nullptr;
        return pFirst && pFirst != bookmark.m_pSection ? pFirst->m_strName : "Энциклопедия";
    }
    return bookmark.m_pBlank ? "Формы и бланки" : "";
}

// The cell number after a prefix ("FLAG3" -> 3), 0 when there is none.
int CellNumber(const std::string& strId, std::size_t nPrefix)
{
    if (strId.size() <= nPrefix)
        return 0;
    char* pEnd = nullptr;
    const long nNumber = std::strtol(strId.c_str() + nPrefix, &pEnd, 10);
    return *pEnd == '\0' && nNumber > 0 && nNumber <= CBookmarkListWin::kPerPage
               ? static_cast<int>(nNumber)
               : 0;
}
} // namespace

CBookmarkListWin::CBookmarkListWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CBookmarkListWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/bookmark_win.htm"), root))
        return false;
    if (!m_cell.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/bookmark_item_html.tmpl")))
    {
        KLOG_ERR << "CBookmarkListWin::Create can't load the cell template";
        return false;
    }
    return true;
}

CBookmarkVector* CBookmarkListWin::Bookmarks() const
{
    return m_context.GetBookmarks();
}

CBookmark* CBookmarkListWin::View() const
{
    return m_pView && (!m_pHost || m_pHost->GetCurrentView() == m_pView) ? m_pView : nullptr;
}

int CBookmarkListWin::GetCurrentPage() const
{
    return m_nPage;
}

void CBookmarkListWin::SetPage(int nPage)
{
    m_nPage = nPage;
    if (CBookmark* pView = View())
        pView->m_nParam1 = nPage;
}

int CBookmarkListWin::GetPageCount() const
{
    const CBookmarkVector* pBookmarks = Bookmarks();
    return CPageBar::PageCount(pBookmarks ? pBookmarks->GetCount() : 0, kPerPage);
}

int CBookmarkListWin::StoredIndex(int nCell, int nPage, std::size_t nCount)
{
    const long long nDisplay =
        static_cast<long long>(nCell) + static_cast<long long>(kPerPage) * nPage - 1;
    if (nCell < 1 || nCell > kPerPage || nPage < 0 || nDisplay >= static_cast<long long>(nCount))
        return -1;
    return static_cast<int>(static_cast<long long>(nCount) - 1 - nDisplay);
}

std::string CBookmarkListWin::BuildGrid(const CBookmarkVector& bookmarks, int nPage,
                                        const StringGenerator& cell)
{
    if (bookmarks.GetCount() == 0)
        return "<div class=\"no_bookmarks\"><div class=\"no_bookmarks_title\">Закладок пока "
               "нет</div>"
               "<div>Откройте документ и нажмите «В закладки» на панели над ним или выберите "
               "«Добавить в "
               "закладки» в его контекстном меню.</div></div>";
    // A grid to the eye, a list of bookmarks to a screen reader.
    std::string html =
        "<table class=\"bookmark_grid\" role=\"list\" aria-label=\"Закладки\"><tbody role=\"none\">";
    for (int nCell = 1; nCell <= kPerPage; ++nCell)
    {
        const int nIndex = StoredIndex(nCell, nPage, bookmarks.GetCount());
        if (nIndex < 0)
            break;
        if ((nCell - 1) % kPerRow == 0)
            html += nCell == 1 ? "<tr role=\"none\">" : "</tr><tr role=\"none\">";
        const CBookmark& bookmark = *bookmarks.GetAt(static_cast<std::size_t>(nIndex));
        const std::string strNumber = std::to_string(nCell);
        html += "<td class=\"bookmark\" role=\"listitem\">" +
                cell.Generate(
                    {{"NUM", std::to_string(nCell + kPerPage * nPage)},
                     {"FLAG_ID", "FLAG" + strNumber},
                     {"DARK", bookmark.m_bImportant ? "1" : "0"},
                     {"PRESSED", bookmark.m_bImportant ? "true" : "false"},
                     {"DELETE_ID", "DELETE" + strNumber},
                     {"DELETE_LABEL", kDeleteLabel},
                     {"SECTION", SectionOf(bookmark)},
                     {"LINK_ID", "ID" + strNumber},
                     {"LINK", bookmark.m_strText},
                     {"TEXT", bookmark.m_strAnnotation.empty() ? " " : bookmark.m_strAnnotation}}) +
                "</td>";
    }
    return html + "</tr></tbody></table>";
}

void CBookmarkListWin::UpdateBookmarkList()
{
    CElement content = GetRootElement().FindById("content");
    if (!content.IsValid())
    {
        KLOG_ERR << "Can't content element";
        return;
    }
    static const CBookmarkVector kNone;
    const CBookmarkVector* pBookmarks = Bookmarks();
    content.SetHtml(BuildGrid(pBookmarks ? *pBookmarks : kNone, GetCurrentPage(), m_cell));
}

void CBookmarkListWin::UpdatePages()
{
    CPageBar::Show(GetRootElement(), GetCurrentPage(), GetPageCount());
}

void CBookmarkListWin::ShowBookmark(CBookmark& view)
{
    m_pView = &view;
    SetPage(std::clamp(view.m_nParam1, 0, std::max(0, GetPageCount() - 1)));
    UpdateBookmarkList();
    UpdatePages();
}

CBookmark* CBookmarkListWin::FromCellId(const std::string& strId, std::size_t nPrefix,
                                        int& nIndex) const
{
    const CBookmarkVector* pBookmarks = Bookmarks();
    nIndex = pBookmarks
                 ? StoredIndex(CellNumber(strId, nPrefix), GetCurrentPage(), pBookmarks->GetCount())
                 : -1;
    if (nIndex < 0)
    {
        KLOG_ERR << "Inavlid bookmark index";
        return nullptr;
    }
    return pBookmarks->GetAt(static_cast<std::size_t>(nIndex));
}

void CBookmarkListWin::Save()
{
    if (!m_context.SaveBookmarks())
        KLOG_ERR << "CBookmarkListWin can't save bookmarks";
}

void CBookmarkListWin::OnGoToBookmark(const std::string& strId)
{
    int nIndex = -1;
    const CBookmark* pBookmark = FromCellId(strId, 2, nIndex);
    if (pBookmark && m_pHost)
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(*pBookmark), true);
}

void CBookmarkListWin::OnFlagBookmark(const std::string& strId)
{
    int nIndex = -1;
    CBookmark* pBookmark = FromCellId(strId, 4, nIndex);
    if (!pBookmark)
        return;
    pBookmark->m_bImportant = !pBookmark->m_bImportant;
    Save();
    UpdateBookmarkList();
}

void CBookmarkListWin::OnDeleteBookmark(const std::string& strId)
{
    int nIndex = -1;
    if (!FromCellId(strId, 6, nIndex))
        return;
    Bookmarks()->RemoveAt(static_cast<std::size_t>(nIndex));
    Save();
    const int nPages = GetPageCount();
    if (GetCurrentPage() >= nPages)
    {
        if (nPages > 0)
            SetPage(nPages - 1);
        else
        {
            KLOG_NOTICE << "Unable to move to page!!!!";
            SetPage(0);
        }
    }
    UpdateBookmarkList();
    UpdatePages();
}

void CBookmarkListWin::OnPage(const std::string& strId)
{
    int nPage = 0;
    if (!CPageBar::Turn(strId, GetCurrentPage(), GetPageCount(), nPage))
        return;
    SetPage(nPage);
    UpdateBookmarkList();
    UpdatePages();
}

bool CBookmarkListWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const CElement target = CElement::FromNode(event.m_pTarget);
    if (const CElement cell = target.SelectParent(".page_num"); cell.IsValid())
        OnPage(cell.GetAttribute("id"));
    else if (target.Matches(".bookmark_flag"))
        OnFlagBookmark(target.GetAttribute("id"));
    else if (target.Matches(".bookmark_delete"))
        OnDeleteBookmark(target.GetAttribute("id"));
    else if (target.Matches(".bookmark_link"))
        OnGoToBookmark(target.GetAttribute("id"));
    else
        return false;
    return true;
}
