#include "SelectSectionWin.h"

#include "ClientContext.h"
#include "HtmlParser.h"
#include "Logger.h"

#include <algorithm>

namespace
{
constexpr int kLinkHeight = 24;
constexpr int kNameHeight = 34;
constexpr int kSpacer = 20;

std::string Text(std::string_view text)
{
    return CHtmlWriter::EscapeText(text);
}
} // namespace

bool CSelectSectionWin::CreateSelector(CWnd* pOwner, int nId)
{
    return CreatePopup(CClientContext::GetUiPath("ui/select_section_panel.htm"), pOwner, nId);
}

std::string CSelectSectionWin::LinkId(CEncyclopediaSection* pSection)
{
    std::string strId = "ID" + std::to_string(m_ids.size() + 1);
    m_ids[strId] = pSection;
    return strId;
}

std::string CSelectSectionWin::MoreLinkHtml(const CEncyclopediaSection& section, std::size_t nLeft)
{
    const std::string strId = "MORE" + std::to_string(m_more.size() + 1);
    m_more[strId] = &section;
    return "<div id=\"" + strId + "\" class=\"section_more\" role=\"link\">" +
           CPartialList::MoreText(nLeft, true) + "</div>";
}

std::string CSelectSectionWin::MoreRunHtml(bool bDown, std::size_t nLeft) const
{
    return std::string("<div id=\"") + (bDown ? "MOREDOWN" : "MOREUP") +
           "\" class=\"section_more run_more\" role=\"link\">" +
           CPartialList::MoreText(nLeft, bDown) + "</div>";
}

std::string CSelectSectionWin::BuildSectionsHtml()
{
    m_ids.clear();
    m_more.clear();
    const auto [nFirst, nLast] = m_range;
    std::string html = "<div id=\"select_section_body\" class=\"select_section_body\">";
    if (nFirst > 0)
        html += MoreRunHtml(false, nFirst);
    html += "<table id=\"table_section_body\" class=\"table_section_body\" role=\"presentation\">";
    for (std::size_t nRow = nFirst; nRow < nLast; nRow += kColumns)
    {
        if (nRow > nFirst)
            html += "<tr class=\"spacer\"><td colspan=\"" + std::to_string(kColumns) +
                    "\" height=\"" + std::to_string(kSpacer) + "\"></td></tr>";
        html += "<tr>";
        for (std::size_t i = nRow; i < nRow + kColumns; ++i)
        {
            if (i >= nLast)
            {
                html += "<td class=\"section\"></td>";
                continue;
            }
            const CEncyclopediaSection& section = *m_pShown->m_children[i];
            html += "<td class=\"section\"><div class=\"section_name\">" + Text(section.m_strName) +
                    "</div>";
            // The first subsections, and the current one wherever it is.
            std::size_t nShown = 0;
            for (const auto& pChild : section.m_children)
            {
                const bool bCurrent = pChild.get() == m_pHighlight;
                if (nShown >= kMaxLinks && !bCurrent)
                    continue;
                ++nShown;
                html +=
                    "<div id=\"" + LinkId(pChild.get()) + "\" class=\"section_link\" role=\"link\"";
                if (bCurrent)
                    html += " current=\"1\"";
                html += ">" + Text(pChild->m_strName) + "</div>";
            }
            if (nShown < section.m_children.size())
                html += MoreLinkHtml(section, section.m_children.size() - nShown);
            html += "</td>";
        }
        html += "</tr>";
    }
    html += "</table>";
    if (nLast < m_pShown->m_children.size())
        html += MoreRunHtml(true, m_pShown->m_children.size() - nLast);
    return html + "</div>";
}

std::string CSelectSectionWin::BuildSubSectionsHtml()
{
    m_ids.clear();
    m_more.clear();
    const auto [nFirst, nLast] = m_range;
    std::string html = "<div id=\"select_subsection_body\" class=\"select_subsection_body\">";
    html += "<div class=\"section_name\">" + Text(m_pShown->m_strName) + "</div>";
    if (nFirst > 0)
        html += MoreRunHtml(false, nFirst);
    for (std::size_t i = nFirst; i < nLast; ++i)
    {
        CEncyclopediaSection* pChild = m_pShown->m_children[i].get();
        html += "<div id=\"" + LinkId(pChild) + "\" class=\"subsection_link\" role=\"link\"";
        if (pChild == m_pHighlight)
            html += " current=\"1\"";
        html += ">" + Text(pChild->m_strName) + "</div>";
    }
    if (nLast < m_pShown->m_children.size())
        html += MoreRunHtml(true, m_pShown->m_children.size() - nLast);
    return html + "</div>";
}

void CSelectSectionWin::Place(int nX, int nY, int nWidth, int nEstimatedHeight)
{
    // The browser reports the real height of the content once it is laid out.
    ShowAt(CRect{nX, nY, nWidth, nEstimatedHeight});
}

std::size_t CSelectSectionWin::TopicsInRun(const CEncyclopediaSection& parent)
{
    // A section shows its name, its first subsections and a "more" link.
    std::size_t nLinks = 0;
    for (const auto& pTopic : parent.m_children)
        nLinks += 1 + std::min(pTopic->m_children.size(), kMaxLinks + 1);
    const std::size_t nTopics = parent.m_children.size();
    if (nTopics == 0)
        return kColumns;
    return std::max<std::size_t>(kColumns,
                                 kMaxShownLinks * nTopics / std::max<std::size_t>(1, nLinks));
}

std::size_t CSelectSectionWin::CurrentIndexIn(const CEncyclopediaSection& parent) const
{
    const CEncyclopediaSection* pChild = m_pHighlight;
    while (pChild && pChild->m_pParent != &parent)
        pChild = pChild->m_pParent;
    if (!pChild)
        return CPartialList::kNone;
    const auto& children = parent.m_children;
    const auto it = std::find_if(children.begin(), children.end(),
                                 [pChild](const auto& p) { return p.get() == pChild; });
    return it == children.end() ? CPartialList::kNone
                                : static_cast<std::size_t>(it - children.begin());
}

void CSelectSectionWin::Render()
{
    const auto [nFirst, nLast] = m_range;
    const int nMoreHeight =
        (nFirst > 0 ? kLinkHeight : 0) + (nLast < m_pShown->m_children.size() ? kLinkHeight : 0);
    if (!m_bTopics)
    {
        GetRootElement().FindById("panel").SetHtml(BuildSubSectionsHtml());
        Place(m_nX, m_nY, kSubSectionsWidth,
              kNameHeight + static_cast<int>(nLast - nFirst) * kLinkHeight + nMoreHeight + kSpacer);
        return;
    }
    GetRootElement().FindById("panel").SetHtml(BuildSectionsHtml());
    int nHeight = nMoreHeight;
    for (std::size_t nRow = nFirst; nRow < nLast; nRow += kColumns)
    {
        std::size_t nLinks = 0;
        for (std::size_t i = nRow; i < std::min(nLast, nRow + kColumns); ++i)
            nLinks = std::max(nLinks,
                              std::min(kMaxLinks + 2, m_pShown->m_children[i]->m_children.size()));
        nHeight += kNameHeight + static_cast<int>(nLinks) * kLinkHeight + kSpacer;
    }
    Place(m_nX, m_nY, kSectionsWidth, nHeight + kSpacer);
}

void CSelectSectionWin::ShowSections(const CEncyclopediaSection* pRoot, int nX, int nY)
{
    static const CEncyclopediaSection empty;
    m_pShown = pRoot ? pRoot : &empty;
    m_bTopics = true;
    m_range = CPartialList::Around(m_pShown->m_children.size(), TopicsInRun(*m_pShown),
                                   CurrentIndexIn(*m_pShown));
    m_nX = nX;
    m_nY = nY;
    Render();
}

void CSelectSectionWin::ShowSubSections(const CEncyclopediaSection* pSection, int nX, int nY)
{
    if (!pSection)
    {
        KLOG_ERR << "CSelectSectionWin::ShowSubSections received NULL";
        return;
    }
    m_pShown = pSection;
    m_bTopics = false;
    m_range =
        CPartialList::Around(pSection->m_children.size(), kMaxSubLinks, CurrentIndexIn(*pSection));
    m_nX = nX;
    m_nY = nY;
    Render();
}

void CSelectSectionWin::ShowMoreOfRun(bool bDown)
{
    const auto [range, nFocus] =
        CPartialList::Grown(m_range, m_pShown->m_children.size(),
                            m_bTopics ? TopicsInRun(*m_pShown) : kMaxSubLinks, bDown);
    m_range = range;
    Render();
    if (nFocus == CPartialList::kNone)
        return;
    // The keyboard goes to the first of the sections that came: in a topic,
    // its first subsection.
    const CEncyclopediaSection* pTarget = m_pShown->m_children[nFocus].get();
    if (m_bTopics)
        pTarget = pTarget->m_children.empty() ? nullptr : pTarget->m_children.front().get();
    for (const auto& [strId, pSection] : m_ids)
        if (pSection == pTarget)
        {
            CElement link = GetRootElement().FindById(strId);
            link.SetState(STATE_FOCUS);
            link.ScrollToView();
            return;
        }
}

void CSelectSectionWin::OnSelectCtrl(const std::string& strId)
{
    const auto it = m_ids.find(strId);
    if (it == m_ids.end())
    {
        KLOG_ERR << "Invalid control id=" << strId;
        return;
    }
    Hide();
    m_sigSectionSelected(it->second);
}

bool CSelectSectionWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const CElement target = CElement::FromNode(event.m_pTarget);
    if (target.Matches(".run_more"))
    {
        ShowMoreOfRun(target.GetAttribute("id") == "MOREDOWN");
        return true;
    }
    if (target.Matches(".section_more"))
    {
        const auto it = m_more.find(target.GetAttribute("id"));
        if (it == m_more.end())
            return true;
        ShowSubSections(it->second, m_nX, m_nY);
        // The list starts at its top, with the keyboard on its first link
        // (the "more" link that had it is gone).
        std::vector<CElement> links = GetRootElement().Select(".subsection_link");
        if (!links.empty())
        {
            links.front().SetState(STATE_FOCUS);
            links.front().ScrollToView();
        }
        return true;
    }
    if (!target.Matches(".section_link") && !target.Matches(".subsection_link"))
        return false;
    OnSelectCtrl(target.GetAttribute("id"));
    return true;
}

void CSelectSectionWin::ForgetContent()
{
    if (IsWindow())
        Hide();
    m_ids.clear();
    m_more.clear();
    m_pHighlight = nullptr;
    m_pShown = nullptr;
}
