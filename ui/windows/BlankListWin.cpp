#include "BlankListWin.h"

#include "BlankInfoData.h"
#include "CalendarMonth.h"
#include "ClientContext.h"
#include "Logger.h"
#include "TextUtils.h"

CBlankListWin::CBlankListWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CBlankListWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId, CClientContext::GetUiPath("ui/blank_list.htm"),
                        root))
        return false;
    if (!m_row.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/blank_list_item_html.tmpl")))
    {
        KLOG_ERR << "CBlankListWin::Create can't load the row template";
        return false;
    }
    return true;
}

void CBlankListWin::ShowBookmark(CBookmark& view)
{
    const CBlankInfoData* pBlanks = m_context.GetBlanks();
    const auto nIndex = static_cast<std::size_t>(view.m_nParam1);
    m_pSection = pBlanks && view.m_nParam1 >= 0 && nIndex < pBlanks->GetSections().size()
                     ? pBlanks->GetSections()[nIndex].get()
                     : nullptr;
    const CElement root = GetRootElement();
    root.FindById("section_title").SetText(m_pSection ? m_pSection->m_strName : view.m_strText);
    root.FindById("section_count")
        .SetText(m_pSection
                     ? CTextUtils::CountOf(m_pSection->m_blanks.size(), "форма", "формы", "форм")
                     : std::string());
    std::string html;
    if (m_pSection)
        for (std::size_t i = 0; i < m_pSection->m_blanks.size(); ++i)
        {
            const CBlankInfo& blank = *m_pSection->m_blanks[i];
            html += m_row.Generate({{"ID", kFormPrefix + std::to_string(i)},
                                    {"NAME", blank.m_strName},
                                    {"DATE", CCalendarMonth::FormatDate(blank.m_date)},
                                    {"APPROVAL", blank.m_strApproval}});
        }
    if (html.empty())
        html = "<div class=\"no_forms\">В этом разделе нет форм.</div>";
    root.FindById("forms").SetHtml(html);
}

bool CBlankListWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const std::string strId =
        CElement::FromNode(event.m_pTarget).SelectParent("[id]").GetAttribute("id");
    if (!m_pHost)
        return false;
    if (strId == "link_forms_home")
    {
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_FORMS_HOME), true);
        return true;
    }
    if (!strId.starts_with(kFormPrefix) || !m_pSection)
        return false;
    const std::size_t nIndex =
        std::strtoul(strId.c_str() + std::string_view(kFormPrefix).size(), nullptr, 10);
    if (nIndex < m_pSection->m_blanks.size())
        m_pHost->GoToBookmark(
            std::make_unique<CBookmark>(CBookmark::ForForm(m_pSection->m_blanks[nIndex].get())),
            true);
    return true;
}
