#include "NavigatorWin.h"

#include "ClientContext.h"
#include "EncyclopediaData.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "MessageLoop.h"
#include "PartialList.h"
#include "WindowManager.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>

namespace
{
constexpr const char* kSeeAlsoPrefix = "SEEALSO";

std::string IdFor(unsigned nNumber)
{
    return "ID" + std::to_string(nNumber);
}

void NumberSubtree(CEncyclopediaSection& section, unsigned& nNext,
                   std::map<std::string, CEncyclopediaSection*>& ids,
                   std::map<const CEncyclopediaSection*, std::string>& idOf)
{
    for (const auto& pChild : section.m_children)
    {
        const std::string strId = IdFor(nNext++);
        ids[strId] = pChild.get();
        idOf[pChild.get()] = strId;
        NumberSubtree(*pChild, nNext, ids, idOf);
    }
}
} // namespace

bool CNavigatorItemCtrl::OnHyperlinkClick(CElement, CDomEvent& event)
{
    if (!IsOwnTarget(event))
        return false;
    m_sigSelect(GetElement().GetAttribute("id"));
    return true;
}

bool CNavigatorWin::Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId)
{
    CElement root;
    if (!CreateWithPage(nStyle, rect, pParent, nId, CClientContext::GetUiPath("ui/navigator.htm"),
                        root))
        return false;
    const std::pair<StringGenerator*, const char*> generators[] = {
        {&m_level2, "ui/templates/section_level2.tmpl"},
        {&m_level3, "ui/templates/section_level3.tmpl"},
        {&m_level4, "ui/templates/section_level4.tmpl"}};
    for (int nLevel = 2; const auto& [pGenerator, szPath] : generators)
    {
        if (!pGenerator->LoadStrTemplateFromFile(CClientContext::GetUiPath(szPath)))
        {
            KLOG_ERR << "CNavigatorWin::Create can't load string generator for section level "
                     << nLevel;
            return false;
        }
        ++nLevel;
    }
    if (m_selectButton.SetElement(root, "btn_select_section"))
        m_selectButton.m_sigClick.connect([this] { m_sigSelectSectionClicked(); });
    return true;
}

void CNavigatorWin::AssignSectionId(CEncyclopediaSection* pFirstLevel,
                                    CEncyclopediaSection* pCurrent)
{
    if (pFirstLevel != m_pRoot)
    {
        // Another tree: no row of the old one keeps the keyboard.
        m_strFocusId.clear();
        for (CElement row : GetRootElement().FindById("tree").Select("a.section_link"))
            row.SetState(0, STATE_FOCUS);
        m_pRoot = pFirstLevel;
        m_pSelected2 = nullptr;
        m_expanded.clear();
        m_shown.clear();
        m_moreRows.clear();
        m_ids.clear();
        m_idOf.clear();
        unsigned nNext = 1;
        if (m_pRoot)
            NumberSubtree(*m_pRoot, nNext, m_ids, m_idOf);
    }
    m_pCurrent = pCurrent;
    // The section on screen is visible in the tree: its branch is open.
    for (CEncyclopediaSection* pUp = pCurrent ? pCurrent->m_pParent : nullptr;
         pUp && pUp != m_pRoot; pUp = pUp->m_pParent)
        m_expanded.insert(pUp);
}

CEncyclopediaSection* CNavigatorWin::GetSectionById(const std::string& strId) const
{
    const auto it = m_ids.find(strId);
    return it == m_ids.end() ? nullptr : it->second;
}

std::string CNavigatorWin::GetIdOf(const CEncyclopediaSection* pSection) const
{
    const auto it = m_idOf.find(pSection);
    return it == m_idOf.end() ? std::string() : it->second;
}

bool CNavigatorWin::IsSelectedPath(const CEncyclopediaSection* pSection) const
{
    for (const CEncyclopediaSection* pUp = m_pCurrent; pUp; pUp = pUp->m_pParent)
        if (pUp == pSection)
            return true;
    return false;
}

void CNavigatorWin::AppendRows(std::string& html, const CEncyclopediaSection& section, int nLevel,
                               bool bFirst, bool bLast)
{
    const bool bExpanded = IsExpanded(&section);
    std::map<std::string, std::string> values{{"SECTION_NAME", section.m_strName},
                                              {"ID", GetIdOf(&section)},
                                              {"IS_LAST", bLast ? "1" : "0"}};
    if (nLevel == 2)
    {
        values["IMAGE_CLASS"] = bExpanded ? "img_level2_expanded" : "img_level2_collapsed";
        values["TD_CLASS"] = &section == m_pSelected2 ? "level2_high"
                             : bFirst                 ? "level2_normal_first"
                                                      : "level2_normal";
        html += m_level2.Generate(values);
    }
    else
    {
        const char* szBase = nLevel == 3 ? "level3" : "level4";
        values["TD_CLASS"] =
            IsSelectedPath(&section) ? std::string(szBase) + "_selected" : std::string(szBase);
        html += (nLevel == 3 ? m_level3 : m_level4).Generate(values);
    }
    if (!bExpanded || nLevel >= 4)
        return;
    AppendChildren(html, section, nLevel + 1, bLast);
}

std::pair<std::size_t, std::size_t> CNavigatorWin::ShownRange(const CEncyclopediaSection& parent)
{
    const auto& children = parent.m_children;
    const std::size_t nCount = children.size();
    if (nCount <= kMaxRows)
        return {0, nCount};
    const auto onPath = std::find_if(children.begin(), children.end(), [this](const auto& pChild) {
        return IsSelectedPath(pChild.get()) || pChild.get() == m_pSelected2;
    });
    const std::size_t nOnPath = static_cast<std::size_t>(onPath - children.begin());
    // What the user opened stays open while the row on screen is in it.
    if (const auto it = m_shown.find(&parent); it != m_shown.end())
    {
        const auto [nFirst, nLast] = it->second;
        if (onPath == children.end() || (nOnPath >= nFirst && nOnPath < nLast))
            return {nFirst, std::min(nLast, nCount)};
        m_shown.erase(it);
    }
    return CPartialList::Around(nCount, kMaxRows,
                                onPath == children.end() ? CPartialList::kNone : nOnPath);
}

std::string CNavigatorWin::MoreRowHtml(const CEncyclopediaSection& parent, int nLevel, bool bDown,
                                       std::size_t nLeft)
{
    const std::string strId = std::string(bDown ? "MOREDOWN" : "MOREUP") +
                              (&parent == m_pRoot ? std::string("0") : GetIdOf(&parent));
    m_moreRows[strId] = {&parent, bDown};
    return "<tr class=\"level" + std::to_string(nLevel) +
           "_more\" role=\"none\"><td class=\"tree_more\" role=\"none\"><a id=\"" + strId +
           "\" class=\"section_link tree_more_link\" href=\"#\" role=\"treeitem\" aria-level=\"" +
           std::to_string(nLevel - 1) + "\">" + CPartialList::MoreText(nLeft, bDown) +
           "</a></td></tr>";
}

void CNavigatorWin::AppendChildren(std::string& html, const CEncyclopediaSection& parent,
                                   int nLevel, bool bLast)
{
    const auto& children = parent.m_children;
    const auto [nFirst, nLast] = ShownRange(parent);
    if (nFirst > 0)
        html += MoreRowHtml(parent, nLevel, false, nFirst);
    for (std::size_t i = nFirst; i < nLast; ++i)
        AppendRows(html, *children[i], nLevel, nLevel == 2 && i == 0,
                   bLast && i + 1 == children.size());
    if (nLast < children.size())
        html += MoreRowHtml(parent, nLevel, true, children.size() - nLast);
}

void CNavigatorWin::ShowMore(const std::string& strId)
{
    const auto it = m_moreRows.find(strId);
    if (it == m_moreRows.end())
        return;
    const auto [pParent, bDown] = it->second;
    const auto [range, nFocus] =
        CPartialList::Grown(ShownRange(*pParent), pParent->m_children.size(), kMaxRows, bDown);
    // The keyboard goes on at the first of the rows that come.
    const CEncyclopediaSection* pFocus =
        nFocus == CPartialList::kNone ? nullptr : pParent->m_children[nFocus].get();
    m_shown[pParent] = range;
    m_strFocusId = GetIdOf(pFocus);
    UpdateContent();
}

std::string CNavigatorWin::GetTreeHtml()
{
    std::string html;
    if (!m_pRoot)
        return html;
    m_moreRows.clear();
    AppendChildren(html, *m_pRoot, 2, true);
    return html;
}

std::string CNavigatorWin::GetSeeAlsoHtml() const
{
    if (m_seeAlso.empty())
        return {};
    std::string html =
        "<div class=\"see_also_title\"><div>Смотрите также</div></div>"
        "<div class=\"see_also_pointer\"><img alt=\"\"></div><div class=\"see_also_content\">";
    for (std::size_t i = 0; i < m_seeAlso.size(); ++i)
    {
        html += "<div class=\"see_also_ref\" id=\"" + std::string(kSeeAlsoPrefix) +
                std::to_string(i) + "\"";
        if (m_seeAlso[i] == m_pCurrent)
            html += " selected=\"1\"";
        html += ">" + CHtmlWriter::EscapeText(m_seeAlso[i]->m_strName) + "</div>";
    }
    return html + "</div>";
}

std::string CNavigatorWin::GetFoundHtml() const
{
    if (m_found.empty())
        return {};
    std::string html = "<div class=\"found_title\">По запросу «" +
                       CHtmlWriter::EscapeText(m_strFoundText) + "»</div>";
    for (std::size_t i = 0; i < m_found.size(); ++i)
    {
        html += "<div class=\"found_ref\" id=\"FOUND" + std::to_string(i) + "\" role=\"link\"";
        if (m_found[i] == m_pCurrent)
            html += " selected=\"1\" aria-current=\"page\"";
        html += ">" + CHtmlWriter::EscapeText(m_found[i]->m_strName) + "</div>";
    }
    return html;
}

void CNavigatorWin::OnSelectFound(const std::string& strId)
{
    const std::size_t nIndex =
        strId.size() > 5 ? std::strtoul(strId.c_str() + 5, nullptr, 10) : m_found.size();
    if (nIndex < m_found.size())
        m_sigFoundSelected(m_found[nIndex]);
}

void CNavigatorWin::UpdateContent()
{
    CElement root = GetRootElement();
    for (auto& pItem : m_items)
        pItem->Detach();
    // A row's control may be the one whose click is being handled now: the
    // controls go when this event is over.
    if (CMessageLoop* pLoop = CMessageLoop::GetCurrent(); pLoop && !m_items.empty())
        pLoop->PostTask([retired = std::make_shared<decltype(m_items)>(std::move(m_items))] {});
    m_items.clear();
    if (!m_pRoot)
        KLOG_ERR << "NULL root(1st level) section";
    root.FindById("section_name").SetText(m_pRoot ? m_pRoot->m_strName : std::string());
    CElement tree = root.FindById("tree");
    // The row that has the keyboard has it again in the new rows (the tree
    // is rebuilt as its section opens), unless the user works elsewhere now.
    CWindowManager* pManager = CWindowManager::Get();
    if (m_strFocusId.empty() && pManager && pManager->GetFocusWindow() == GetSafeHwnd())
        for (const CElement& row : tree.Select("a.section_link"))
            if (row.HasState(STATE_FOCUS))
                m_strFocusId = row.GetAttribute("id");
    // The rows are only the tree's layout: its items are the links in them.
    tree.SetHtml("<table class=\"tree_table\" role=\"tree\" aria-label=\"Содержание раздела\">"
                 "<tbody role=\"none\">" +
                 GetTreeHtml() + "</tbody></table>");
    CElement seeAlso = root.FindById("see_also");
    seeAlso.SetHtml(GetSeeAlsoHtml());
    seeAlso.SetVisible(!m_seeAlso.empty());
    CElement found = root.FindById("found_sections");
    found.SetHtml(GetFoundHtml());
    found.SetVisible(!m_found.empty());
    AttachItems();
}

void CNavigatorWin::ForgetContent()
{
    for (auto& pItem : m_items)
        pItem->Detach();
    m_items.clear();
    m_pRoot = m_pCurrent = m_pSelected2 = nullptr;
    m_expanded.clear();
    m_shown.clear();
    m_moreRows.clear();
    m_ids.clear();
    m_idOf.clear();
    m_seeAlso.clear();
    m_found.clear();
    m_strFoundText.clear();
    m_strFocusId.clear();
    CElement root = GetRootElement();
    for (const char* szId : {"tree", "see_also", "found_sections"})
        root.FindById(szId).SetHtml(std::string());
}

void CNavigatorWin::AttachItems()
{
    CElement root = GetRootElement();
    const auto attach = [this](CElement element, auto onSelect) {
        auto pItem = std::make_unique<CNavigatorItemCtrl>();
        if (!pItem->SetElement(element))
            return;
        pItem->m_sigSelect.connect(onSelect);
        m_items.push_back(std::move(pItem));
    };
    const std::vector<CElement> rows = root.FindById("tree").Select("a.section_link");
    for (CElement link : rows)
    {
        DescribeRow(link);
        attach(link, [this](const std::string& strId) { OnSelectCtrl(strId); });
    }
    if (!rows.empty())
    {
        const auto current = std::find_if(rows.begin(), rows.end(), [](const CElement& row) {
            return row.GetAttribute("aria-current") == "page";
        });
        MakeTabStop(current != rows.end() ? *current : rows.front());
    }
    for (const CElement& link : root.FindById("see_also").Select(".see_also_ref"))
        attach(link, [this](const std::string& strId) { OnSelectSeeAlso(strId); });
    for (const CElement& link : root.FindById("found_sections").Select(".found_ref"))
        attach(link, [this](const std::string& strId) { OnSelectFound(strId); });
    if (!m_strFocusId.empty())
    {
        CElement focused = root.FindById(m_strFocusId);
        MakeTabStop(focused);
        focused.SetState(STATE_FOCUS);
        m_strFocusId.clear();
    }
}

void CNavigatorWin::MakeTabStop(CElement row)
{
    if (!row.IsValid())
        return;
    for (CElement other : GetRootElement().FindById("tree").Select("a.section_link"))
        if (other.GetAttribute("tabindex") != "-1")
            other.SetAttribute("tabindex", "-1");
    row.SetAttribute("tabindex", "0");
}

bool CNavigatorWin::OpenOrClose(CElement row, bool bOpen)
{
    CEncyclopediaSection* pSection = GetSectionById(row.GetAttribute("id"));
    if (!pSection || row.GetAttribute("aria-expanded").empty() || IsExpanded(pSection) == bOpen)
        return false;
    if (CEncyclopediaData::GetSectionLevel(pSection) == 2 || bOpen)
        OnSelectCtrl(row.GetAttribute("id")); // as a click on the row does
    else
    {
        m_expanded.erase(pSection);
        m_strFocusId = row.GetAttribute("id");
        UpdateContent();
    }
    return true;
}

bool CNavigatorWin::on_key(CElement, CElement target, unsigned nEvent, unsigned nKeyCode, unsigned)
{
    if (nEvent != KEY_DOWN || !target.Matches("a.section_link"))
        return false;
    const std::vector<CElement> rows = GetRootElement().FindById("tree").Select("a.section_link");
    const auto at = std::find(rows.begin(), rows.end(), target);
    if (at == rows.end())
        return false;
    const auto level = [](const CElement& row) {
        return std::atoi(row.GetAttribute("aria-level").c_str());
    };
    std::optional<CElement> next;
    switch (nKeyCode)
    {
    case VK_DOWN:
        if (std::next(at) != rows.end())
            next = *std::next(at);
        break;
    case VK_UP:
        if (at != rows.begin())
            next = *std::prev(at);
        break;
    case VK_HOME: next = rows.front(); break;
    case VK_END: next = rows.back(); break;
    case VK_RIGHT:
        if (OpenOrClose(target, true))
            return true;
        if (std::next(at) != rows.end() && level(*std::next(at)) > level(target))
            next = *std::next(at);
        break;
    case VK_LEFT:
        if (OpenOrClose(target, false))
            return true;
        for (auto up = std::make_reverse_iterator(at); up != rows.rend() && !next; ++up)
            if (level(*up) < level(target))
                next = *up;
        break;
    default: return false;
    }
    if (next)
    {
        MakeTabStop(*next);
        next->Focus();
    }
    return true; // the keys of a tree never scroll its page
}

void CNavigatorWin::DescribeRow(CElement& link) const
{
    // What the row's look and a screen reader need beside the template's
    // classes: whether it opens further and whether it is on screen.
    link.SetAttribute("tabindex", "-1"); // the tree is one Tab stop (MakeTabStop)
    const CEncyclopediaSection* pSection = GetSectionById(link.GetAttribute("id"));
    if (!pSection)
        return;
    const bool bBranch =
        !pSection->m_children.empty() && CEncyclopediaData::GetSectionLevel(pSection) < 4;
    if (bBranch)
        link.SetAttribute("aria-expanded", IsExpanded(pSection) ? "true" : "false");
    if (pSection == m_pCurrent)
    {
        link.SetAttribute("aria-current", "page");
        link.SetAttribute("aria-selected", "true");
    }
    CElement cell = link.GetParent();
    if (cell.GetTag() == "td" && CEncyclopediaData::GetSectionLevel(pSection) == 3)
    {
        cell.SetAttribute("has_children", bBranch ? "1" : "0");
        cell.SetAttribute("expanded", IsExpanded(pSection) ? "true" : "false");
    }
}

void CNavigatorWin::OnSelectCtrl(const std::string& strId)
{
    if (m_moreRows.count(strId))
        return ShowMore(strId);
    CEncyclopediaSection* pSection = GetSectionById(strId);
    if (!pSection)
    {
        KLOG_ERR << "Invalid control ID";
        return;
    }
    switch (CEncyclopediaData::GetSectionLevel(pSection))
    {
    case 2:
        KLOG_DEBUG << "Second level item selected";
        m_pSelected2 = pSection;
        if (!m_expanded.erase(pSection))
            m_expanded.insert(pSection);
        m_strFocusId = strId;
        UpdateContent();
        break;
    case 3:
        KLOG_DEBUG << "Third level item selected";
        // The only open entry of its branch.
        if (pSection->m_pParent)
            for (const auto& pSibling : pSection->m_pParent->m_children)
                m_expanded.erase(pSibling.get());
        m_expanded.insert(pSection);
        m_pSelected2 = nullptr;
        m_strFocusId = strId;
        UpdateContent();
        // A third-level item that is a document opens it, as a user expects
        // of a line in a table of contents.
        if (!pSection->m_strURL.empty() || !pSection->m_strAnchor.empty())
            m_sigSectionSelected(pSection);
        break;
    case 4:
        KLOG_DEBUG << "fouth level item selected";
        m_sigSectionSelected(pSection);
        break;
    default: KLOG_ERR << "Invalid level item selected"; break;
    }
}

void CNavigatorWin::OnSelectSeeAlso(const std::string& strId)
{
    std::size_t nIndex = m_seeAlso.size();
    if (strId.starts_with(kSeeAlsoPrefix))
        nIndex = std::strtoul(strId.c_str() + std::char_traits<char>::length(kSeeAlsoPrefix),
                              nullptr, 10);
    if (nIndex >= m_seeAlso.size() || !m_seeAlso[nIndex])
    {
        KLOG_ERR << "CNavigatorWin::OnSelectSeeAlso received NULL pointer";
        return;
    }
    m_sigSeeAlsoSelected(m_seeAlso[nIndex]);
}

CRect CNavigatorWin::GetSelectSectionButtonRect() const
{
    return GetScreenRectOf(m_selectButton.GetElement());
}
