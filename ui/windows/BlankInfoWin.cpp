#include "BlankInfoWin.h"

#include "BlankInfoData.h"
#include "BlankSectionListWin.h"
#include "CalendarMonth.h"
#include "ClientContext.h"
#include "FileUtils.h"
#include "FormFile.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "MessageDlg.h"
#include "StringTable.h"

#include <filesystem>

namespace
{
constexpr const char* kImagePrefix = "PAGE";

std::string WithoutLeadingSlash(const std::string& strUrl)
{
    return strUrl.substr(std::min(strUrl.find_first_not_of("/\\"), strUrl.size()));
}
} // namespace

CBlankInfoWin::CBlankInfoWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CBlankInfoWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    return CreateWithPage(nStyle, rect, pParent, nId,
                          CClientContext::GetUiPath("ui/blank_view.htm"), root);
}

int CBlankInfoWin::FindSection(std::string& strName) const
{
    const CBlankInfoData* pBlanks = m_context.GetBlanks();
    if (!pBlanks || !m_pBlank)
        return -1;
    const auto& sections = pBlanks->GetSections();
    for (std::size_t i = 0; i < sections.size(); ++i)
        for (const auto& pBlank : sections[i]->m_blanks)
            if (pBlank.get() == m_pBlank)
            {
                strName = sections[i]->m_strName;
                return static_cast<int>(i);
            }
    return -1;
}

std::string CBlankInfoWin::ImagesHtml() const
{
    std::string html;
    for (std::size_t i = 0; i < m_pBlank->m_images.size(); ++i)
    {
        const std::string strPage = "Страница " + std::to_string(i + 1);
        html += "<figure class=\"form_page\"><img id=\"" + std::string(kImagePrefix) +
                std::to_string(i) + "\" class=\"form_page_image\" role=\"button\" src=\"" +
                CHtmlWriter::EscapeAttribute("/content/Content/" +
                                             WithoutLeadingSlash(m_pBlank->m_images[i])) +
                "\" alt=\"" + strPage + " — открыть крупно\"><figcaption>" + strPage +
                "</figcaption></figure>";
    }
    return html.empty() ? "<div class=\"no_pages\">Изображений страниц нет.</div>" : html;
}

void CBlankInfoWin::ShowBookmark(CBookmark& view)
{
    m_pBlank = view.m_pBlank;
    const CElement root = GetRootElement();
    std::string strSection;
    FindSection(strSection);
    root.FindById("link_section").SetText(strSection);
    root.FindById("link_section").SetVisible(!strSection.empty());
    root.FindById("form_status").SetText("");
    if (!m_pBlank)
    {
        root.FindById("form_name").SetText(view.m_strText);
        root.FindById("form_body").SetVisible(false);
        return;
    }
    root.FindById("form_body").SetVisible(true);
    root.FindById("form_name").SetText(m_pBlank->m_strName);
    root.FindById("form_date").SetText(CCalendarMonth::FormatDate(m_pBlank->m_date));
    root.FindById("form_approval").SetText(m_pBlank->m_strApproval);
    root.FindById("form_used").SetText(m_pBlank->m_strUsed);
    root.FindById("form_images").SetHtml(ImagesHtml());
    root.FindById("link_instruction").SetVisible(!m_pBlank->m_strInstructionURL.empty());
}

std::string CBlankInfoWin::FormFile() const
{
    return m_pBlank && m_pHost ? m_pHost->DownloadContentFile(m_pBlank->m_strUploadURL)
                               : std::string();
}

void CBlankInfoWin::OnDownload()
{
    const std::string strPath = FormFile();
    if (strPath.empty())
        return;
    const std::string strCopy = CFormFile::CopyForDesktop(strPath, CFormFile::GetCopiesFolder());
    if (!strCopy.empty() && m_context.OpenExternal(strCopy))
        GetRootElement()
            .FindById("form_status")
            .SetText("Бланк открыт в программе для его формата.");
    else
        ShowMessage(IDS_FORM_OPEN_ERROR);
}

void CBlankInfoWin::OnCopyToDesktop()
{
    const std::string strPath = FormFile();
    if (strPath.empty())
        return;
    // Into the forms folder among the user's documents, under the form's name.
    const std::string strCopy = CFileUtils::CopyToDesktop(strPath, m_pBlank->m_strName);
    if (strCopy.empty())
    {
        ShowMessage(IDS_FORM_COPY_ERROR);
        return;
    }
    m_strSavedFolder = std::filesystem::path(strCopy).parent_path().string();
    std::string strText(CStringTable::Get(IDS_FORM_COPIED));
    strText.replace(strText.find("%s"), 2, strCopy);
    GetRootElement()
        .FindById("form_status")
        .SetHtml(CHtmlWriter::EscapeText(strText) +
                 " <span id=\"link_open_folder\" class=\"action_link\" role=\"link\">Открыть "
                 "папку</span>");
}

bool CBlankInfoWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const std::string strId =
        CElement::FromNode(event.m_pTarget).SelectParent("[id]").GetAttribute("id");
    if (!m_pHost)
        return false;
    if (strId == "btn_download")
        OnDownload();
    else if (strId == "btn_copy_desktop")
        OnCopyToDesktop();
    else if (strId == "link_open_folder" && !m_strSavedFolder.empty())
    {
        if (!m_context.OpenExternal(m_strSavedFolder))
            ShowMessage(IDS_HYPERLINK_ERROR);
    }
    else if (strId == "link_instruction" && m_pBlank)
        m_pHost->OpenLink(m_pBlank->m_strInstructionURL);
    else if (strId == "link_forms_home")
        m_pHost->GoToBookmark(std::make_unique<CBookmark>(CBookmark::VIEW_FORMS_HOME), true);
    else if (strId == "link_section")
    {
        std::string strName;
        if (const int nSection = FindSection(strName); nSection >= 0)
            m_pHost->GoToBookmark(std::make_unique<CBookmark>(CBlankSectionListWin::ForSection(
                                      static_cast<std::size_t>(nSection), strName)),
                                  true);
    }
    else if (strId.starts_with(kImagePrefix) && m_pBlank)
    {
        const std::size_t nIndex =
            std::strtoul(strId.c_str() + std::string_view(kImagePrefix).size(), nullptr, 10);
        if (nIndex < m_pBlank->m_images.size())
            m_pHost->ShowImage(m_context.GetDocumentsFolder() +
                               WithoutLeadingSlash(m_pBlank->m_images[nIndex]));
    }
    else
        return false;
    return true;
}
