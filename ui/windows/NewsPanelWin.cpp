#include "NewsPanelWin.h"

#include "BlankInfoData.h"
#include "CalendarMonth.h"
#include "ClientContext.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "NewInfoData.h"

#include <algorithm>
#include <cmath>

namespace
{
constexpr const char* kFormPrefix = "FORM";

bool IsNewsLinkId(const std::string& strId)
{
    return strId.size() > 2 && strId.size() <= 11 && strId.starts_with("ID") &&
           std::all_of(strId.begin() + 2, strId.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void KeepTextAndLinks(const CDomNode& node, std::string& out)
{
    for (const auto& pChild : node.m_children)
    {
        if (pChild->m_type == CDomNode::TEXT)
            out += CHtmlWriter::EscapeText(pChild->m_strText);
        if (pChild->m_type != CDomNode::ELEMENT)
            continue;
        const std::string* pId = pChild->FindAttribute("id");
        const std::string* pClass = pChild->FindAttribute("class");
        const bool bLink = pChild->m_strTag == "a" && pId && IsNewsLinkId(*pId) && pClass &&
                           *pClass == "link_in_news";
        if (bLink)
            out += "<a id=\"" + *pId + "\" class=\"link_in_news\" role=\"link\">";
        KeepTextAndLinks(*pChild, out);
        if (bLink)
            out += "</a>";
    }
}
} // namespace

CNewsPanelWin::CNewsPanelWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CNewsPanelWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/news_panel_win.htm"), root))
        return false;
    if (!m_newsCard.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/news_item_html.tmpl")) ||
        !m_formCard.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/blank_news_item_html.tmpl")))
    {
        KLOG_ERR << "CNewsPanelWin::Create can't load the news templates";
        return false;
    }
    return true;
}

std::string CNewsPanelWin::CleanNewsBody(const std::string& strBody)
{
    // The feed comes with the content: a body that could not be rewritten
    // is shown as it was written, and must not bring markup of its own.
    CDomNode holder(CDomNode::ELEMENT, "div");
    holder.m_children = CHtmlParser::ParseFragment(strBody);
    std::string out;
    KeepTextAndLinks(holder, out);
    return out;
}

void CNewsPanelWin::ShowNews()
{
    m_bForms = false;
    Reload();
}

void CNewsPanelWin::ShowBlankNews()
{
    m_bForms = true;
    Reload();
}

void CNewsPanelWin::Reload()
{
    Fill();
    m_nFirst = 0;
    m_nPosition = 0;
    GetRootElement().FindById("strip_heading").SetVisible(m_bForms);
    Render();
    m_sigRange(GetItemCount(), GetVisibleCount());
}

void CNewsPanelWin::Fill()
{
    m_news.clear();
    m_blanks.clear();
    if (m_bForms)
    {
        if (CBlankInfoData* pBlanks = m_context.GetBlanks())
            m_blanks = pBlanks->GetBlankNews();
    }
    else if (const CNewInfoData* pNews = m_context.GetNews())
        for (const auto& pItem : pNews->GetItems())
            m_news.push_back(pItem.get());
}

std::size_t CNewsPanelWin::GetVisibleCount() const
{
    const int nCard = (m_bForms ? kFormCardWidth : kNewsCardWidth) + kCardGap;
    const int nRoom = GetClientRect().m_nWidth - m_nLeft - m_nRight + kCardGap;
    return static_cast<std::size_t>(std::max(1, nRoom / nCard));
}

void CNewsPanelWin::SetInsets(int nLeft, int nRight)
{
    if (nLeft == m_nLeft && nRight == m_nRight)
        return;
    m_nLeft = nLeft;
    m_nRight = nRight;
    GetRootElement().FindById("news").SetStyleAttribute(
        "padding", "0 " + std::to_string(nRight) + "px 0 " + std::to_string(nLeft) + "px");
    SetScrollPosition(m_nPosition, m_nMaximum);
    m_sigRange(GetItemCount(), GetVisibleCount());
}

void CNewsPanelWin::SetScrollPosition(int nPosition, int nMaximum)
{
    m_nMaximum = std::max(1, nMaximum);
    m_nPosition = std::clamp(nPosition, 0, m_nMaximum);
    const std::size_t nItems = GetItemCount(), nVisible = GetVisibleCount();
    const std::size_t nSteps = nItems > nVisible ? nItems - nVisible : 0;
    const std::size_t nFirst = static_cast<std::size_t>(
        std::lround(static_cast<double>(m_nPosition) * static_cast<double>(nSteps) / m_nMaximum));
    if (nFirst == m_nFirst && nVisible == m_nShownVisible)
        return;
    m_nFirst = nFirst;
    Render();
}

void CNewsPanelWin::OnSize(int, int)
{
    SetScrollPosition(m_nPosition, m_nMaximum);
    m_sigRange(GetItemCount(), GetVisibleCount());
}

std::string CNewsPanelWin::NewsCard(const CNewInfo& item) const
{
    // The body is markup already cleaned, not text to escape: it goes in
    // after the escaped values.
    std::string card = m_newsCard.Generate({{"DATE", CCalendarMonth::FormatDate(item.m_date)}});
    if (const std::size_t nText = card.find("$(TEXT)"); nText != std::string::npos)
        card.replace(nText, 7, CleanNewsBody(item.m_strBody));
    return card;
}

std::string CNewsPanelWin::FormCard(std::size_t nIndex) const
{
    const CBlankInfo& blank = *m_blanks[nIndex];
    return m_formCard.Generate({{"DATE", CCalendarMonth::FormatDate(blank.m_date)},
                                {"ID", kFormPrefix + std::to_string(nIndex)},
                                {"NAME", blank.m_strName},
                                {"NOTE", blank.m_strApproval}});
}

void CNewsPanelWin::Render()
{
    const CElement root = GetRootElement();
    CElement strip = root.FindById("news_strip");
    if (!strip.IsValid())
        return;
    const std::size_t nItems = GetItemCount();
    m_nShownVisible = GetVisibleCount();
    const std::size_t nLast = std::min(nItems, m_nFirst + m_nShownVisible);
    std::string html;
    for (std::size_t i = m_nFirst; i < nLast; ++i)
        html += m_bForms ? FormCard(i) : NewsCard(*m_news[i]);
    if (nItems == 0)
        html = std::string("<div class=\"news_empty\">") +
               (m_bForms ? "Формы появятся после обновления справочника." : "Новостей пока нет.") +
               "</div>";
    strip.SetHtml(html);
    strip.SetAttribute("class", m_bForms ? "news_strip forms" : "news_strip");
    root.FindById("news_count")
        .SetText(nItems == 0 ? std::string()
                             : std::to_string(m_nFirst + 1) + "–" + std::to_string(nLast) + " из " +
                                   std::to_string(nItems));
}

bool CNewsPanelWin::HandleDomEvent(CDomEvent& event)
{
    if (event.m_nGroup == HANDLE_MOUSE && event.m_nCode == MOUSE_WHEEL && event.m_nWheelDelta != 0)
    {
        m_sigWheel(event.m_nWheelDelta > 0 ? 1 : -1);
        return true;
    }
    return CHTMLayoutWin::HandleDomEvent(event);
}

bool CNewsPanelWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const CElement target = CElement::FromNode(event.m_pTarget).SelectParent("a");
    const std::string strId = target.GetAttribute("id");
    if (!m_pHost || strId.empty())
        return false;
    if (strId.starts_with(kFormPrefix))
    {
        const std::size_t nIndex =
            std::strtoul(strId.c_str() + std::string_view(kFormPrefix).size(), nullptr, 10);
        if (m_bForms && nIndex < m_blanks.size())
            m_pHost->GoToBookmark(std::make_unique<CBookmark>(CBookmark::ForForm(m_blanks[nIndex])),
                                  true);
        return true;
    }
    const CNewInfoData* pNews = m_context.GetNews();
    const std::string* pTarget =
        pNews && IsNewsLinkId(strId)
            ? pNews->FindLink(static_cast<unsigned>(std::stoul(strId.substr(2))))
            : nullptr;
    if (!pTarget)
    {
        KLOG_WARN << "CNewsPanelWin: no link " << strId;
        return true;
    }
    KLOG_NOTICE << "CNewsPanelWin: news link " << *pTarget;
    m_pHost->OpenLink(*pTarget);
    return true;
}
