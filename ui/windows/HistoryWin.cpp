#include "HistoryWin.h"

#include "ClientContext.h"
#include "EncyclopediaData.h"
#include "Logger.h"
#include "MessageLoop.h"
#include "PageBar.h"

#include <algorithm>
#include <cstdio>

namespace
{
constexpr int kReservedHeight = 150;
constexpr int kRowHeight = 60;

std::string Format(const char* szFormat, int a, int b, int c = 0)
{
    char szText[32];
    std::snprintf(szText, sizeof(szText), szFormat, a, b, c);
    return szText;
}
} // namespace

CHistoryWin::CHistoryWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CHistoryWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    if (!CHTMLayoutWin::Create(nStyle, rect, pParent, nId) ||
        !LoadHtmlFromFile(CClientContext::GetUiPath("ui/history_win.htm")))
    {
        KLOG_ERR << "CHistoryWin::Create Can't create window";
        return false;
    }
    if (!GetRootElement().IsValid())
    {
        KLOG_ERR << "Can't get root element";
        return false;
    }
    if (!m_row.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/history_item_html.tmpl")))
    {
        KLOG_ERR << "CHistoryWin::Create can't load the row template";
        return false;
    }
    return true;
}

const std::vector<std::unique_ptr<CHistoryInfo>>* CHistoryWin::Records() const
{
    CViewHistoryData* pHistory = m_context.GetViewHistory();
    return pHistory ? &pHistory->GetRecords() : nullptr;
}

int CHistoryWin::ItemsPerPage(int nClientHeight)
{
    return std::max(1, (nClientHeight - kReservedHeight) / kRowHeight);
}

int CHistoryWin::GetPageCount() const
{
    const auto* pRecords = Records();
    return CPageBar::PageCount(pRecords ? pRecords->size() : 0,
                               ItemsPerPage(GetClientRect().m_nHeight));
}

std::string CHistoryWin::BuildRows(const std::vector<std::unique_ptr<CHistoryInfo>>& records,
                                   int nPage, int nPerPage, const StringGenerator& row,
                                   std::map<std::string, const CHistoryInfo*>& ids)
{
    ids.clear();
    std::string html;
    const std::size_t nFirst =
        static_cast<std::size_t>(std::max(0, nPage)) * static_cast<std::size_t>(nPerPage);
    const CDate* pLastDay = nullptr;
    for (std::size_t i = nFirst;
         i < records.size() && i < nFirst + static_cast<std::size_t>(nPerPage); ++i)
    {
        // Newest first.
        const CHistoryInfo& info = *records[records.size() - 1 - i];
        if (!pLastDay || !(*pLastDay == info.m_time.m_date))
        {
            const CDate& day = info.m_time.m_date;
            html += "<tr class=\"date_row\"><td class=\"time\"></td><td class=\"date\">" +
                    Format("%02d.%02d.%d", static_cast<int>(day.m_nDay),
                           static_cast<int>(day.m_nMonth), static_cast<int>(day.m_nYear)) +
                    "</td></tr>";
            pLastDay = &info.m_time.m_date;
        }
        const std::string strId = "ID" + std::to_string(i);
        ids[strId] = &info;
        html +=
            row.Generate({{"TIME", Format("%d:%02d", info.m_time.m_nHour, info.m_time.m_nMinute)},
                          {"SECTION", info.m_strSecondLine},
                          {"ID", strId},
                          {"LINK", info.m_strFirstLine},
                          {"TEXT", ""}});
    }
    return html;
}

void CHistoryWin::UpdateList()
{
    CElement content = GetRootElement().FindById("content");
    if (!content.IsValid())
    {
        KLOG_ERR << "Can't content element";
        return;
    }
    for (auto& pLink : m_links)
        pLink->Detach();
    if (CMessageLoop* pLoop = CMessageLoop::GetCurrent(); pLoop && !m_links.empty())
        pLoop->PostTask([retired = std::make_shared<decltype(m_links)>(std::move(m_links))] {});
    m_links.clear();
    const int nPages = GetPageCount();
    m_nPage = std::clamp(m_nPage, 0, std::max(0, nPages - 1));
    static const std::vector<std::unique_ptr<CHistoryInfo>> kNone;
    const auto* pRecords = Records();
    // A table to the eye, a list of the documents read to a screen reader.
    std::string html =
        "<table class=\"history_table\" role=\"list\" aria-label=\"История просмотров\"><tbody role=\"none\">";
    html += BuildRows(pRecords ? *pRecords : kNone, m_nPage,
                      ItemsPerPage(GetClientRect().m_nHeight), m_row, m_ids);
    if (m_ids.empty())
        html +=
            "<tr role=\"listitem\"><td class=\"time\" role=\"none\"></td><td class=\"no_history\" role=\"none\">Вы еще не открывали "
            "документов. Документ "
            "попадает в историю, когда вы читаете его дольше 10 секунд.</td></tr>";
    html +=
        "<tr class=\"filler\" role=\"none\"><td height=\"100%\" role=\"none\"></td></tr></tbody></table>";
    content.SetHtml(html);
    for (const auto& entry : m_ids)
    {
        const std::string strId = entry.first;
        auto pLink = std::make_unique<CHTMLayoutButtonCtrl>();
        if (!pLink->SetElement(content, strId))
            continue;
        pLink->m_sigClick.connect([this, strId] { OnGoToItem(strId); });
        m_links.push_back(std::move(pLink));
    }
}

void CHistoryWin::UpdatePages()
{
    CPageBar::Show(GetRootElement(), m_nPage, GetPageCount());
}

void CHistoryWin::ShowBookmark(const CBookmark&)
{
    UpdateList();
    UpdatePages();
}

void CHistoryWin::OnGoToItem(const std::string& strId)
{
    const auto it = m_ids.find(strId);
    if (it == m_ids.end() || !it->second)
    {
        KLOG_ERR << "CHistoryWin::OnGoToItem received NULL";
        return;
    }
    CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia();
    CEncyclopediaSection* pSection =
        pEncyclopedia ? pEncyclopedia->FindSectionByURL(it->second->m_strURL) : nullptr;
    if (!pSection)
    {
        KLOG_ERR << "CHistoryWin::OnGoToItem received unknown section";
        return;
    }
    if (m_pHost)
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForSection(pSection)), true);
}

void CHistoryWin::OnPage(const std::string& strId)
{
    int nPage = 0;
    if (!CPageBar::Turn(strId, m_nPage, GetPageCount(), nPage))
        return;
    m_nPage = nPage;
    UpdateList();
    UpdatePages();
}

bool CHistoryWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const CElement cell = CElement::FromNode(event.m_pTarget).SelectParent(".page_num");
    if (!cell.IsValid())
        return false;
    OnPage(cell.GetAttribute("id"));
    return true;
}

void CHistoryWin::OnSize(int, int)
{
    // A new height holds another number of rows.
    if (IsWindowVisible())
    {
        UpdateList();
        UpdatePages();
    }
}
