#include "SelectSectionWin.h"

#include "ClientContext.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "TextUtils.h"

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
    return "<div id=\"" + strId + "\" class=\"section_more\" role=\"link\">Ещё " +
           CTextUtils::CountOf(nLeft, "раздел", "раздела", "разделов") + "…</div>";
}

std::string CSelectSectionWin::BuildSectionsHtml(const CEncyclopediaSection* pRoot)
{
    m_ids.clear();
    m_more.clear();
    std::string html =
        "<div id=\"select_section_body\" class=\"select_section_body\">"
        "<table id=\"table_section_body\" class=\"table_section_body\" role=\"presentation\">";
    const std::size_t nCount = pRoot ? pRoot->m_children.size() : 0;
    for (std::size_t nRow = 0; nRow < nCount; nRow += kColumns)
    {
        if (nRow > 0)
            html += "<tr class=\"spacer\"><td colspan=\"" + std::to_string(kColumns) +
                    "\" height=\"" + std::to_string(kSpacer) + "\"></td></tr>";
        html += "<tr>";
        for (std::size_t i = nRow; i < nRow + kColumns; ++i)
        {
            if (i >= nCount)
            {
                html += "<td class=\"section\"></td>";
                continue;
            }
            const CEncyclopediaSection& section = *pRoot->m_children[i];
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
    return html + "</table></div>";
}

std::string CSelectSectionWin::BuildSubSectionsHtml(const CEncyclopediaSection* pSection)
{
    m_ids.clear();
    m_more.clear();
    std::string html = "<div id=\"select_subsection_body\" class=\"select_subsection_body\">";
    if (pSection)
    {
        html += "<div class=\"section_name\">" + Text(pSection->m_strName) + "</div>";
        for (const auto& pChild : pSection->m_children)
        {
            html +=
                "<div id=\"" + LinkId(pChild.get()) + "\" class=\"subsection_link\" role=\"link\"";
            if (pChild.get() == m_pHighlight)
                html += " current=\"1\"";
            html += ">" + Text(pChild->m_strName) + "</div>";
        }
    }
    return html + "</div>";
}

void CSelectSectionWin::Place(int nX, int nY, int nWidth, int nEstimatedHeight)
{
    // The browser reports the real height of the content once it is laid out.
    ShowAt(CRect{nX, nY, nWidth, nEstimatedHeight});
}

void CSelectSectionWin::ShowSections(const CEncyclopediaSection* pRoot, int nX, int nY)
{
    m_nX = nX;
    m_nY = nY;
    GetRootElement().FindById("panel").SetHtml(BuildSectionsHtml(pRoot));
    int nHeight = 0;
    const std::size_t nCount = pRoot ? pRoot->m_children.size() : 0;
    for (std::size_t nRow = 0; nRow < nCount; nRow += kColumns)
    {
        std::size_t nLinks = 0;
        for (std::size_t i = nRow; i < std::min(nCount, nRow + kColumns); ++i)
            nLinks =
                std::max(nLinks, std::min(kMaxLinks + 2, pRoot->m_children[i]->m_children.size()));
        nHeight += kNameHeight + static_cast<int>(nLinks) * kLinkHeight + kSpacer;
    }
    Place(nX, nY, kSectionsWidth, nHeight + kSpacer);
}

void CSelectSectionWin::ShowSubSections(const CEncyclopediaSection* pSection, int nX, int nY)
{
    if (!pSection)
    {
        KLOG_ERR << "CSelectSectionWin::ShowSubSections received NULL";
        return;
    }
    m_nX = nX;
    m_nY = nY;
    GetRootElement().FindById("panel").SetHtml(BuildSubSectionsHtml(pSection));
    Place(nX, nY, kSubSectionsWidth,
          kNameHeight + static_cast<int>(pSection->m_children.size()) * kLinkHeight + kSpacer);
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
}
