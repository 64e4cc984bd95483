#include "SearchRegistryWin.h"

#include "ClientContext.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "SearchRegistry.h"
#include "StringTable.h"
#include "TextUtils.h"

namespace
{
std::size_t NumberAfter(const std::string& strId, std::size_t nPrefix)
{
    return strId.size() > nPrefix ? std::strtoul(strId.c_str() + nPrefix, nullptr, 10)
                                  : std::size_t(-1);
}

char32_t FirstLetter(std::string_view text)
{
    std::size_t nPos = 0;
    return text.empty() ? 0 : CTextUtils::DecodeNext(text, nPos);
}

std::string Utf8(char32_t ch)
{
    std::string text;
    CTextUtils::AppendUtf8(text, ch);
    return text;
}
} // namespace

CSearchRegistryWin::CSearchRegistryWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CSearchRegistryWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/search_registry_win.htm"), root))
        return false;
    for (const char* szId : {"letters", "sections", "letter_info", "references"})
        if (!root.FindById(szId).IsValid())
        {
            KLOG_ERR << "CSearchRegistryWin::Create the page has no " << szId;
            return false;
        }
    return true;
}

CSearchRegistry* CSearchRegistryWin::Registry() const
{
    return m_context.GetSearchRegistry();
}

std::u32string CSearchRegistryWin::LettersWithPhrases(CSearchRegistry& registry)
{
    std::u32string letters;
    for (const char32_t letter : CTextUtils::ToUtf32(CStringTable::Get(IDS_REGISTRY_ALPHABET)))
        if (!registry.GetPhrases(letter).empty())
            letters += letter;
    return letters;
}

char32_t CSearchRegistryWin::GetLetter() const
{
    return m_nLetter < m_letters.size() ? m_letters[m_nLetter] : 0;
}

void CSearchRegistryWin::ShowBookmark(CBookmark& view)
{
    m_pView = &view;
    CSearchRegistry* pRegistry = Registry();
    m_letters = pRegistry ? LettersWithPhrases(*pRegistry) : std::u32string();
    m_nLetter = static_cast<std::size_t>(std::max(0, view.m_nParam1));
    m_nSection = static_cast<std::size_t>(std::max(0, view.m_nParam2));
    if (m_nLetter >= m_letters.size())
        m_nLetter = 0;
    UpdateLetters();
    UpdateSections();
}

void CSearchRegistryWin::UpdateLetters()
{
    const std::u32string alphabet = CTextUtils::ToUtf32(CStringTable::Get(IDS_REGISTRY_ALPHABET));
    std::string html;
    for (std::size_t i = 0; i < m_letters.size(); ++i)
    {
        const bool bSelected = i == m_nLetter;
        html += "<td id=\"LETTER" + std::to_string(i) +
                "\" class=\"letter\" role=\"tab\" aria-selected=\"" +
                (bSelected ? "true" : "false") + "\"";
        if (!alphabet.empty() && m_letters[i] == alphabet.front())
            html += " first=\"1\"";
        if (bSelected)
            html += " selected=\"1\"";
        html += ">" + Utf8(m_letters[i]) + "</td>";
    }
    CElement letters = GetRootElement().FindById("letters");
    letters.SetHtml(html);
}

void CSearchRegistryWin::UpdateSections()
{
    m_sections.clear();
    const char32_t letter = GetLetter();
    if (CSearchRegistry* pRegistry = Registry(); pRegistry && letter)
        for (const RegistrySection& section : pRegistry->GetSections())
            if (FirstLetter(section.name) == letter)
                m_sections.push_back(&section);
    if (m_nSection >= m_sections.size())
        m_nSection = 0;
    std::string html;
    for (std::size_t i = 0; i < m_sections.size(); ++i)
    {
        html += "<div id=\"SECTION" + std::to_string(i) + "\" class=\"section\" role=\"tab\"";
        if (i == 0)
            html += " first=\"1\"";
        if (i + 1 == m_sections.size())
            html += " last=\"1\"";
        if (i == m_nSection)
            html += " selected=\"1\" aria-selected=\"true\"";
        html += ">" + CHtmlWriter::EscapeText(m_sections[i]->name) + "</div>";
    }
    CElement sections = GetRootElement().FindById("sections");
    sections.SetHtml(html);
    UpdateReferences();
}

void CSearchRegistryWin::UpdateReferences()
{
    m_phrases.clear();
    CSearchRegistry* pRegistry = Registry();
    if (pRegistry && m_nSection < m_sections.size())
        m_phrases = pRegistry->GetPhrases(*m_sections[m_nSection]);
    CElement info = GetRootElement().FindById("letter_info");
    CElement title = info.SelectFirst(".letter_info_title");
    title.SetText(m_nSection < m_sections.size() ? m_sections[m_nSection]->name : std::string());
    std::string html;
    for (std::size_t i = 0; i < m_phrases.size(); ++i)
        html += "<div role=\"listitem\"><div id=\"REF" + std::to_string(i) +
                "\" class=\"reference\" role=\"link\">" +
                CHtmlWriter::EscapeText(m_phrases[i]->text) + "</div></div>";
    if (m_phrases.empty())
        html = "<div class=\"no_references\" role=\"listitem\">Выберите букву и раздел.</div>";
    CElement references = GetRootElement().FindById("references");
    references.SetHtml(html);
    // Kept in the view on screen (it may be gone when another is shown).
    if (m_pView && (!m_pHost || m_pHost->GetCurrentView() == m_pView))
    {
        m_pView->m_nParam1 = static_cast<int>(m_nLetter);
        m_pView->m_nParam2 = static_cast<int>(m_nSection);
    }
}

void CSearchRegistryWin::SelectLetter(std::size_t nLetter)
{
    if (nLetter >= m_letters.size())
        return;
    m_nLetter = nLetter;
    m_nSection = 0;
    UpdateLetters();
    UpdateSections();
}

void CSearchRegistryWin::SelectSection(std::size_t nSection)
{
    if (nSection >= m_sections.size())
        return;
    m_nSection = nSection;
    UpdateSections();
}

void CSearchRegistryWin::OnPhrase(std::size_t nPhrase)
{
    if (nPhrase < m_phrases.size())
        m_sigPhrase(m_phrases[nPhrase]->text, m_phrases[nPhrase]->links);
}

bool CSearchRegistryWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const CElement target = CElement::FromNode(event.m_pTarget);
    const std::string strId = target.GetAttribute("id");
    if (strId.starts_with("LETTER"))
        SelectLetter(NumberAfter(strId, 6));
    else if (strId.starts_with("SECTION"))
        SelectSection(NumberAfter(strId, 7));
    else if (strId.starts_with("REF"))
        OnPhrase(NumberAfter(strId, 3));
    else
        return false;
    return true;
}

void CSearchRegistryWin::ForgetContent()
{
    m_pView = nullptr;
    m_sections.clear();
    m_phrases.clear();
    m_letters.clear();
    m_nLetter = m_nSection = 0;
}
