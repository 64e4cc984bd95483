#include "SearchResultWin.h"

#include "ClientContext.h"
#include "DocumentPage.h"
#include "EncyclopediaData.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "SearchUtils.h"
#include "TextUtils.h"
#include "WindowManager.h"

#include <nlohmann/json.hpp>

namespace
{
constexpr const char* kItemPrefix = "R";
constexpr const char* kExpandPrefix = "EXPAND";
constexpr const char* kSubsectionPrefix = "SUB";
// Put in place of the snippet, which is markup of its own (the generator
// escapes what it puts in).
constexpr const char* kSnippetMark = "KALIMOR-SNIPPET";

std::size_t NumberAfter(const std::string& strId, const char* szPrefix)
{
    return std::strtoul(strId.c_str() + std::char_traits<char>::length(szPrefix), nullptr, 10);
}

// Where a section lies under its first-level section ("Вычеты › Налоговые вычеты").
std::string LocationOf(const CEncyclopediaSection& section)
{
    std::vector<const CEncyclopediaSection*> chain;
    for (const CEncyclopediaSection* pUp = section.m_pParent;
         pUp && pUp->m_pParent && pUp->m_pParent->m_pParent; pUp = pUp->m_pParent)
        chain.push_back(pUp);
    std::string strLocation;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        strLocation += (strLocation.empty() ? "" : " › ") + (*it)->m_strName;
    return strLocation;
}
} // namespace

CBookmark* CSearchResultWin::View() const
{
    return m_pView && m_pHost && m_pHost->GetCurrentView() == m_pView ? m_pView : nullptr;
}

CSearchResultWin::CSearchResultWin(CClientContext& context, IViewHost* pHost)
    : CHTMLayoutWin(context.GetDataLoader()),
      m_context(context),
      m_pHost(pHost)
{
}

bool CSearchResultWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId,
                        CClientContext::GetUiPath("ui/search_result_win.htm"), root))
        return false;
    if (!m_template.LoadStrTemplateFromFile(
            CClientContext::GetUiPath("ui/templates/search_result_html.tmpl")) ||
        !root.FindById("result_list").IsValid())
    {
        KLOG_ERR << "CSearchResultWin::Create can't load its template or list";
        return false;
    }
    return true;
}

std::string CSearchResultWin::CountDocuments(std::size_t nCount)
{
    return CTextUtils::CountOf(nCount, "документ", "документа", "документов");
}

void CSearchResultWin::BuildItems(const CBookmark& view)
{
    m_items.clear();
    // The groups come in the order of their codes, the sections of a group
    // in the order the search ranked them.
    for (const auto& [strCode, sections] : view.m_sectionsByCode)
    {
        const std::size_t nFirst = m_items.size();
        for (CEncyclopediaSection* pSection : sections)
            if (pSection)
                m_items.push_back(
                    CItem{pSection, CEncyclopediaData::GetFirstLevelSectionItem(pSection), 0});
        if (m_items.size() > nFirst)
            m_items[nFirst].m_nGroupSize = m_items.size() - nFirst;
    }
}

std::string CSearchResultWin::Summary(const CBookmark& view) const
{
    if (m_items.empty())
        return "По запросу «" + view.m_strSearchString + "» ничего не найдено";
    return "Найдено " + CountDocuments(view.m_nFoundDocuments) + " по запросу «" +
           view.m_strSearchString + "»";
}

std::string CSearchResultWin::BuildHead(const CBookmark& view) const
{
    const std::string strSummary = CHtmlWriter::EscapeText(m_strSummary);
    if (m_items.empty())
        return "<div class=\"no_results\"><div class=\"no_results_title\">" + strSummary +
               "</div><div>Проверьте, нет ли в словах опечаток, уберите лишние слова или найдите "
               "тему через поисковый регистр.</div></div>";
    std::string html = "<div class=\"result_count\">" + strSummary + "</div>";
    if (!view.m_strCompletions.empty())
        html += "<div class=\"result_completions\">Точных совпадений нет. Показаны документы со "
                "словами: " +
                CHtmlWriter::EscapeText(view.m_strCompletions) + "</div>";
    return html;
}

std::string CSearchResultWin::ItemHtml(std::size_t nIndex)
{
    const CItem& item = m_items[nIndex];
    std::string html;
    if (item.m_nGroupSize > 0 && item.m_pGroup)
        html += "<h2 class=\"result_group\">" + CHtmlWriter::EscapeText(item.m_pGroup->m_strName) +
                " <span class=\"result_group_count\">" + std::to_string(item.m_nGroupSize) +
                "</span></h2>";
    const CEncyclopediaSection& section = *item.m_pSection;
    const std::string strId = kItemPrefix + std::to_string(nIndex);
    std::string strEntry = m_template.Generate({{"SEARCH_RESULT_ID", strId},
                                                {"SEARCH_RESULT_TITLE_TEXT", section.m_strName},
                                                {"SEARCH_RESULT_LOCATION", LocationOf(section)},
                                                {"SEARCH_RESULT_TEXT", kSnippetMark}});
    // The snippet is made now, for what is shown only.
    std::string strSnippet;
    if (CEncyclopediaData* pEncyclopedia = m_context.GetEncyclopedia())
    {
        std::vector<std::vector<std::string>> groups;
        for (const std::set<std::string>& forms : m_highlightGroups)
            groups.emplace_back(forms.begin(), forms.end());
        strSnippet = pEncyclopedia->GetContent(&section, groups);
    }
    if (const auto nMark = strEntry.find(kSnippetMark); nMark != std::string::npos)
        strEntry.replace(nMark, std::char_traits<char>::length(kSnippetMark), strSnippet);
    // A page with parts of its own can show which of them hold the words.
    const bool bParts =
        std::any_of(section.m_children.begin(), section.m_children.end(),
                    [](const auto& pChild) { return !pChild->m_strAnchor.empty(); });
    if (bParts && section.m_strAnchor.empty())
        strEntry += "<div class=\"result_parts\"><span id=\"" + std::string(kExpandPrefix) +
                    std::to_string(nIndex) +
                    "\" class=\"result_expand\" role=\"button\" aria-expanded=\"false\">Где в "
                    "документе</span><div id=\"" +
                    kSubsectionPrefix + std::to_string(nIndex) +
                    "\" class=\"result_subsections\"></div></div>";
    // One entry of the list, the heading of its group with the first one.
    return "<div class=\"result_entry\" role=\"listitem\">" + html + strEntry + "</div>";
}

void CSearchResultWin::ShowBookmark(CBookmark& view, bool bRestore)
{
    KTRACE("CSearchResultWin::ShowBookmark");
    m_pView = &view;
    m_highlightWords = view.m_highlightWords;
    m_highlightGroups = view.m_highlightGroups;
    m_strQuery = view.m_strSearchString;
    BuildItems(view);
    m_strSummary = Summary(view);
    CElement root = GetRootElement();
    root.FindById("result_head").SetHtml(BuildHead(view));
    // The list grows a chunk at a time as the reader comes near its end.
    root.FindById("result_list").SetHtml("");
    m_nFilled = 0;
    const std::size_t nWanted =
        bRestore ? std::max<std::size_t>(1, static_cast<std::size_t>(view.m_nParam1)) : 1;
    while (m_nFilled < nWanted && ShowMore())
    {
    }
    SendFrontEndCommand({{"cmd", "scrollTo"}, {"top", bRestore ? view.m_nParam2 : 0}});
}

bool CSearchResultWin::ShowMore()
{
    const std::size_t nFirst = m_nFilled * kChunkSize;
    if (nFirst >= m_items.size())
        return false;
    std::string html;
    for (std::size_t i = nFirst; i < std::min(m_items.size(), nFirst + kChunkSize); ++i)
        html += ItemHtml(i);
    CElement list = GetRootElement().FindById("result_list");
    CElement chunk = list.CreateElement("div");
    chunk.SetAttribute("class", "result_chunk");
    chunk.SetAttribute("role", "none"); // its entries belong to the list
    chunk.SetAttribute("id", "chunk" + std::to_string(m_nFilled));
    chunk.SetHtml(html);
    list.Append(chunk);
    ++m_nFilled;
    if (CBookmark* pView = View())
        pView->m_nParam1 = static_cast<int>(m_nFilled);
    CElement more = GetRootElement().FindById("result_more");
    more.SetVisible(m_nFilled * kChunkSize < m_items.size());
    return true;
}

std::vector<CEncyclopediaSection*>
CSearchResultWin::FoundSubsections(const CEncyclopediaSection& section) const
{
    std::vector<CEncyclopediaSection*> found;
    CDocumentPage page;
    if (!page.Load(m_context.GetDocumentsFolder(), section.m_strURL))
        return found;
    std::set<std::string> anchors;
    for (const auto& pChild : section.m_children)
        if (!pChild->m_strAnchor.empty())
            anchors.insert(pChild->m_strAnchor);
    const auto parts = page.GetTextByAnchor(anchors);
    for (const auto& pChild : section.m_children)
    {
        const auto it = parts.find(pChild->m_strAnchor);
        if (pChild->m_strAnchor.empty() || it == parts.end())
            continue;
        for (const std::string& word : SplitSearchString(CTextUtils::ToLower(it->second)))
            if (m_highlightWords.count(word))
            {
                found.push_back(pChild.get());
                break;
            }
    }
    return found;
}

void CSearchResultWin::OnExpand(std::size_t nIndex)
{
    if (nIndex >= m_items.size())
        return;
    CElement root = GetRootElement();
    CElement button = root.FindById(kExpandPrefix + std::to_string(nIndex));
    CElement list = root.FindById(kSubsectionPrefix + std::to_string(nIndex));
    if (button.GetAttribute("aria-expanded") == "true")
    {
        button.SetAttribute("aria-expanded", "false");
        list.SetHtml("");
        return;
    }
    const std::vector<CEncyclopediaSection*> parts = FoundSubsections(*m_items[nIndex].m_pSection);
    std::string html;
    for (std::size_t i = 0; i < parts.size(); ++i)
        html += "<a id=\"" + std::string(kItemPrefix) + std::to_string(nIndex) + "_" +
                std::to_string(i) + "\" class=\"result_subsection\" href=\"#\">" +
                CHtmlWriter::EscapeText(parts[i]->m_strName) + "</a>";
    if (parts.empty())
        html = "<div class=\"result_subsection_none\">Слова встречаются во вступлении "
               "документа.</div>";
    button.SetAttribute("aria-expanded", "true");
    list.SetHtml(html);
}

void CSearchResultWin::OnOpenResult(std::size_t nIndex)
{
    if (nIndex >= m_items.size())
        return;
    OpenSection(m_items[nIndex].m_pSection);
}

void CSearchResultWin::OpenSection(CEncyclopediaSection* pSection)
{
    // The document shows the words found, the query goes back into the box
    // with Back.
    if (!m_pHost || !pSection)
        return;
    auto pView = std::make_unique<CBookmark>(CBookmark::ForSection(pSection));
    pView->m_highlightWords = m_highlightWords;
    pView->m_highlightGroups = m_highlightGroups;
    pView->m_strSearchString = m_strQuery;
    m_pHost->GoToBookmark(std::move(pView), true);
}

bool CSearchResultWin::FocusPage()
{
    const CBookmark* pView = View();
    CElement opened = pView && !pView->m_strFocusId.empty()
                          ? GetRootElement().FindById(pView->m_strFocusId)
                          : CElement();
    if (!opened.IsValid() || !opened.IsVisible())
        return CHTMLayoutWin::FocusPage();
    opened.Focus();
    return true;
}

bool CSearchResultWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const CElement target = CElement::FromNode(event.m_pTarget);
    const std::string strId = target.GetAttribute("id");
    if (CBookmark* pView = View();
        pView && (target.Matches(".search_result_title") || target.Matches(".result_subsection")))
        pView->m_strFocusId = strId;
    if (target.Matches(".result_expand"))
        OnExpand(NumberAfter(strId, kExpandPrefix));
    else if (target.Matches("#result_more"))
        ShowMore();
    else if (target.Matches(".result_subsection"))
    {
        const std::size_t nIndex = NumberAfter(strId, kItemPrefix);
        const std::size_t nPart = std::strtoul(strId.c_str() + strId.find('_') + 1, nullptr, 10);
        const std::vector<CEncyclopediaSection*> parts =
            nIndex < m_items.size() ? FoundSubsections(*m_items[nIndex].m_pSection)
                                    : std::vector<CEncyclopediaSection*>();
        if (nPart < parts.size())
            OpenSection(parts[nPart]);
    }
    else if (target.Matches(".search_result_title"))
        OnOpenResult(NumberAfter(strId, kItemPrefix));
    else
        return false;
    return true;
}

bool CSearchResultWin::OnFrontEndEvent(std::string_view type, const nlohmann::json& event)
{
    if (type != "scroll")
        return false;
    // Where the reader is, for Back and Forward; near the end the next
    // chunk is filled.
    if (CBookmark* pView = View())
        pView->m_nParam2 = CWindowManager::EventInt(event, "top");
    if (CWindowManager::EventInt(event, "nearEnd") != 0)
        ShowMore();
    return true;
}

void CSearchResultWin::ForgetContent()
{
    m_items.clear();
    m_nFilled = 0;
    m_pView = nullptr;
    GetRootElement().FindById("result_list").SetHtml(std::string());
}
