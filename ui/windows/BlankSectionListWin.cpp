#include "BlankSectionListWin.h"

#include "BlankInfoData.h"
#include "ClientContext.h"
#include "Logger.h"
#include "TextUtils.h"

CBlankSectionListWin::CBlankSectionListWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CBlankSectionListWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/blank_section_list.htm"), root))
        return false;
    if (!m_section.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/blank_section_html.tmpl")))
    {
        KLOG_ERR << "CBlankSectionListWin::Create can't load the section template";
        return false;
    }
    return true;
}

CBookmark CBlankSectionListWin::ForSection(std::size_t nIndex, const std::string& strName)
{
    CBookmark view(CBookmark::VIEW_FORM_LIST);
    view.m_nParam1 = static_cast<int>(nIndex);
    view.m_strText = strName;
    return view;
}

void CBlankSectionListWin::ShowBookmark(CBookmark&)
{
    const CBlankInfoData* pBlanks = m_context.GetBlanks();
    std::string html;
    if (pBlanks)
        for (std::size_t i = 0; i < pBlanks->GetSections().size(); ++i)
        {
            const CBlankSection& section = *pBlanks->GetSections()[i];
            std::string strSample;
            for (std::size_t j = 0; j < section.m_blanks.size() && j < 3; ++j)
                strSample += (j ? " · " : "") + section.m_blanks[j]->m_strName;
            html += m_section.Generate(
                {{"ID", kSectionPrefix + std::to_string(i)},
                 {"NAME", section.m_strName},
                 {"COUNT", CTextUtils::CountOf(section.m_blanks.size(), "форма", "формы", "форм")},
                 {"SAMPLE", strSample}});
        }
    if (html.empty())
        html = "<div class=\"no_forms\">Формы появятся после обновления справочника.</div>";
    GetRootElement().FindById("sections").SetHtml(html);
}

bool CBlankSectionListWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const std::string strId =
        CElement::FromNode(event.m_pTarget).SelectParent("[id]").GetAttribute("id");
    const CBlankInfoData* pBlanks = m_context.GetBlanks();
    if (!strId.starts_with(kSectionPrefix) || !pBlanks || !m_pHost)
        return false;
    const std::size_t nIndex =
        std::strtoul(strId.c_str() + std::string_view(kSectionPrefix).size(), nullptr, 10);
    if (nIndex < pBlanks->GetSections().size())
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(
                                  ForSection(nIndex, pBlanks->GetSections()[nIndex]->m_strName)),
                              true);
    return true;
}
