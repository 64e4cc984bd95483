#include "SearchEditCtrl.h"

#include "ClientContext.h"
#include "HtmlDocument.h"
#include "HtmlParser.h"
#include "Logger.h"
#include "SearchRegistry.h"
#include "SynonymsSearch.h"
#include "TextUtils.h"
#include "WindowManager.h"

#include <algorithm>

namespace
{
// A one-letter text can prompt tens of thousands of phrases: the list shows
// the first ones (typing further narrows it), so it stays quick to open and
// to move through.
constexpr std::size_t kMaxPrompts = 100;
constexpr int kDefaultPage = 5;
constexpr int kGap = 2;
constexpr const char* kOptionPrefix = "prompt";
} // namespace

CSearchPromptsWin::CSearchPromptsWin(CClientContext& context)
    : CPopupWin(context.GetDataLoader()),
      m_context(context)
{
}

bool CSearchPromptsWin::CreatePrompts(CWnd* pOwner)
{
    if (!CreatePopup(CClientContext::GetUiPath("ui/search_prompts.htm"), pOwner, 200,
                     "CSearchPromptsWin::Create"))
        return false;
    if (!GetRootElement().FindById("search_prompts").IsValid())
    {
        KLOG_ERR << "CSearchPromptsWin::GetSearchPromptsElement can't get search_prompts";
        return false;
    }
    return true;
}

void CSearchPromptsWin::SetSearchString(const std::string& strText)
{
    m_strSearchString = strText;
    UpdateSearchPrompts(strText);
}

void CSearchPromptsWin::UpdateSearchPrompts(const std::string& strText)
{
    ++m_nFills;
    m_prompts.clear();
    m_nCurrent = -1;
    CSearchRegistry* pRegistry = m_context.GetSearchRegistry();
    const CSynonymsSearch* pSynonyms = m_context.GetSynonyms();
    if (pRegistry && pSynonyms)
    {
        std::vector<std::string_view> found;
        GetSearchBoxPrompts(*pSynonyms, *pRegistry, strText, found);
        for (std::size_t i = 0; i < found.size() && m_prompts.size() < kMaxPrompts; ++i)
            m_prompts.emplace_back(found[i]);
    }
    std::string html;
    for (std::size_t i = 0; i < m_prompts.size(); ++i)
        html += "<option id=\"" + std::string(kOptionPrefix) + std::to_string(i) +
                "\" role=\"option\" checked=\"0\" aria-selected=\"false\">" +
                CHtmlWriter::EscapeText(m_prompts[i]) + "</option>";
    CElement list = GetRootElement().FindById("search_prompts");
    if (!list.IsValid())
    {
        KLOG_ERR << "CSearchPromptsWin::GetSearchPromptsElement can't get search_prompts";
        return;
    }
    list.SetHtml(html);
    list.GetLocation(); // measured from now on, with its first option
    list.SelectFirst("option").GetLocation();
}

int CSearchPromptsWin::GetPagePromptsCount() const
{
    const CElement list = GetRootElement().FindById("search_prompts");
    return PagePromptsCount(list.GetLocation().m_nHeight, GetClientRect().m_nHeight,
                            list.SelectFirst("option").GetLocation().m_nHeight);
}

int CSearchPromptsWin::PagePromptsCount(int nListHeight, int nShownHeight, int nOptionHeight)
{
    // A list taller than the window scrolls inside it: only the window's
    // height is on screen.
    const int nHeight = nShownHeight > 0 ? std::min(nListHeight, nShownHeight) : nListHeight;
    if (nHeight <= 0 || nOptionHeight <= 0)
        return kDefaultPage;
    return std::max(1, nHeight / nOptionHeight - 4);
}

void CSearchPromptsWin::SetCurrent(int nIndex)
{
    const std::vector<CElement> options =
        GetRootElement().FindById("search_prompts").Select("option");
    if (m_nCurrent >= 0 && m_nCurrent < static_cast<int>(options.size()))
    {
        CElement old = options[static_cast<std::size_t>(m_nCurrent)];
        old.SetAttribute("checked", "0");
        old.SetAttribute("aria-selected", "false");
    }
    m_nCurrent = nIndex;
    if (m_nCurrent >= 0 && m_nCurrent < static_cast<int>(options.size()))
    {
        CElement current = options[static_cast<std::size_t>(m_nCurrent)];
        current.SetAttribute("checked", "1");
        current.SetAttribute("aria-selected", "true");
        current.ScrollToView();
        m_sigCurrent(m_prompts[static_cast<std::size_t>(m_nCurrent)],
                     static_cast<std::size_t>(m_nCurrent), m_prompts.size());
    }
}

bool CSearchPromptsWin::NextPrompt(int nCount)
{
    if (m_prompts.empty())
        return false;
    const int nLast = static_cast<int>(m_prompts.size()) - 1;
    SetCurrent(m_nCurrent < 0 ? 0 : std::min(nLast, m_nCurrent + nCount));
    return true;
}

bool CSearchPromptsWin::PrevPrompt(int nCount)
{
    if (m_prompts.empty())
        return false;
    SetCurrent(m_nCurrent < 0 ? 0 : std::max(0, m_nCurrent - nCount));
    return true;
}

void CSearchPromptsWin::FirstPrompt()
{
    if (!m_prompts.empty())
        SetCurrent(0);
}

void CSearchPromptsWin::LastPrompt()
{
    if (!m_prompts.empty())
        SetCurrent(static_cast<int>(m_prompts.size()) - 1);
}

std::string CSearchPromptsWin::GetCurrPrompt() const
{
    return m_nCurrent >= 0 && m_nCurrent < static_cast<int>(m_prompts.size())
               ? m_prompts[static_cast<std::size_t>(m_nCurrent)]
               : std::string();
}

bool CSearchPromptsWin::OnHyperlinkClick(CElement, CDomEvent& event)
{
    const std::string strId = CElement::FromNode(event.m_pTarget).GetAttribute("id");
    if (!strId.starts_with(kOptionPrefix))
        return false;
    const std::size_t nIndex =
        std::strtoul(strId.c_str() + std::char_traits<char>::length(kOptionPrefix), nullptr, 10);
    if (nIndex < m_prompts.size())
        m_sigPromptClick(m_prompts[nIndex]);
    return true;
}

void CSearchPromptsWin::OnContentSizeChanged()
{
    CPopupWin::OnContentSizeChanged();
    if (GetWindowRect().m_nHeight > kMaxHeight)
    {
        CRect place = GetWindowRect();
        place.m_nHeight = kMaxHeight;
        MoveWindow(place);
    }
}

bool CSearchEditCtrl::OnEditValueChanging(CElement he, CDomEvent& event)
{
    if (!CHTMLayoutEditCtrl::OnEditValueChanging(he, event))
        return false;
    // The new text (the element holds it once the change is over).
    OnUpdateSearchString(event.m_strValue);
    return true;
}

void CSearchEditCtrl::StopTimer(unsigned nTimerId)
{
    CElement element = GetElement();
    element.SetTimer(0, nTimerId);
    if (nTimerId == kPromptsTimer)
        m_bTimerPending = false;
}

void CSearchEditCtrl::OnUpdateSearchString(const std::string& strText)
{
    KLOG_NOTICE << "CSearchEditCtrl::OnUpdateSearchString starts for value=" << strText;
    StopTimer(kPromptsTimer);
    if (!ArePromptsShown())
    {
        KLOG_DEBUG << "CSearchEditCtrl::OnUpdateSearchString starts timer for value=" << strText;
        CElement element = GetElement();
        element.SetTimer(kPromptsDelayMs, kPromptsTimer);
        m_bTimerPending = true;
        return;
    }
    if (strText.empty())
    {
        KLOG_DEBUG
            << "CSearchEditCtrl::OnUpdateSearchString hides prompts win because of empty string";
        m_pPrompts->Hide();
        return;
    }
    if (strText == m_pPrompts->GetSearchString())
        return;
    KLOG_DEBUG << "CSearchEditCtrl::OnUpdateSearchString immediatelly refreshes prompts ";
    m_pPrompts->SetSearchString(strText);
    if (m_pPrompts->GetPromptsCount() == 0)
    {
        KLOG_DEBUG << "CSearchEditCtrl::OnUpdateSearchString hides prompts because of it is empty";
        m_pPrompts->Hide();
    }
    else
        PlacePrompts();
}

bool CSearchEditCtrl::EnsurePromptsWin()
{
    if (m_pPrompts)
        return true;
    KLOG_DEBUG << "CSearchEditCtrl::on_timer creates prompts window";
    auto pPrompts = std::make_unique<CSearchPromptsWin>(m_context);
    if (!pPrompts->CreatePrompts(m_pOwner))
    {
        KLOG_ERR << "Can't create CSearchPromptsWin";
        return false;
    }
    pPrompts->SetCompanion(m_pOwner);
    pPrompts->m_sigPromptClick.connect([this](const std::string& strPrompt) {
        SetValue(strPrompt);
        HidePrompts("OnPromptClick");
        m_sigPrompt(strPrompt);
    });
    pPrompts->m_sigShown.connect([this] { SetExpanded(true); });
    pPrompts->m_sigHidden.connect([this] { SetExpanded(false); });
    pPrompts->m_sigCurrent.connect([this](const std::string& strPrompt, std::size_t nIndex,
                                          std::size_t nCount) {
        Announce(strPrompt + ", " + std::to_string(nIndex + 1) + " из " + std::to_string(nCount));
    });
    m_pPrompts = std::move(pPrompts);
    return true;
}

void CSearchEditCtrl::SetExpanded(bool bExpanded)
{
    CElement box = GetElement();
    box.SetAttribute("aria-expanded", bExpanded ? "true" : "false");
    if (bExpanded && m_pPrompts)
        Announce(CTextUtils::CountOf(m_pPrompts->GetPromptsCount(), "подсказка", "подсказки",
                                     "подсказок"));
    else if (!bExpanded)
        Announce("");
}

void CSearchEditCtrl::Announce(const std::string& strText)
{
    const CHtmlDocument* pDocument = GetElement().GetDocument();
    if (!pDocument)
        return;
    CElement status = pDocument->GetRoot().FindById("prompt_status");
    if (status)
        status.SetText(strText);
}

void CSearchEditCtrl::ShowPrompts(const std::string& strText)
{
    if (!EnsurePromptsWin())
        return;
    KLOG_DEBUG << "CSearchEditCtrl::on_timer shows prompts for string=" << strText;
    // An empty text or one without prompts shows nothing.
    if (strText.empty())
    {
        m_pPrompts->Hide();
        return;
    }
    m_pPrompts->SetSearchString(strText);
    if (m_pPrompts->GetPromptsCount() == 0)
    {
        m_pPrompts->Hide();
        return;
    }
    // Placed again once the browser has laid the box out: the first time the
    // box is measured its place comes a frame later, and later still on a
    // busy machine.
    PlacePrompts();
    m_nPlaceTries = 0;
    CElement element = GetElement();
    element.SetTimer(kPlaceRetryMs, kPlaceTimer);
}

bool CSearchEditCtrl::PlacePrompts()
{
    if (!m_pPrompts || !m_pOwner)
    {
        KLOG_ERR << "Can't show non-created CSearchPromptsWin";
        return true;
    }
    // Right under the box and as wide as it: the typed text stays in view.
    const CRect box = GetElement().GetLocation();
    const CRect owner = m_pOwner->GetScreenRect();
    const int nWidth = box.m_nWidth > 0 ? box.m_nWidth : 600;
    KLOG_DEBUG << "CSearchEditCtrl::ShowSearchPromptsWin sets width=" << nWidth;
    const int nHeight = m_pPrompts->IsShown() ? m_pPrompts->GetWindowRect().m_nHeight
                                              : CSearchPromptsWin::kMaxHeight;
    m_pPrompts->ShowAt(CRect{owner.m_nLeft + box.m_nLeft,
                             owner.m_nTop + box.m_nTop + box.m_nHeight + kGap, nWidth, nHeight},
                       false);
    return box.m_nWidth > 0;
}

bool CSearchEditCtrl::on_timer(CElement, unsigned nTimerId)
{
    if (nTimerId == kPromptsTimer)
    {
        KLOG_DEBUG << "CSearchEditCtrl::on_timer starts";
        StopTimer(kPromptsTimer);
        ShowPrompts(GetValue());
        return true;
    }
    if (nTimerId == kPlaceTimer)
    {
        StopTimer(kPlaceTimer);
        if (ArePromptsShown() && !PlacePrompts() && ++m_nPlaceTries < kPlaceTries)
        {
            CElement element = GetElement();
            element.SetTimer(kPlaceRetryMs, kPlaceTimer);
        }
        return true;
    }
    return false;
}

void CSearchEditCtrl::DropPrompts()
{
    HidePrompts("content update");
    m_pPrompts.reset(); // the window goes with it; made again on the next letter
}

void CSearchEditCtrl::HidePrompts(const char* szReason)
{
    StopTimer(kPromptsTimer);
    if (!ArePromptsShown())
        return;
    KLOG_DEBUG << "HidePromts: beacause of " << szReason;
    m_pPrompts->Hide();
}

void CSearchEditCtrl::TakeCurrentPrompt()
{
    SetValue(m_pPrompts->GetCurrPrompt());
}

bool CSearchEditCtrl::on_key(CElement, CElement target, unsigned nEvent, unsigned nKeyCode,
                             unsigned)
{
    if (nEvent != KEY_DOWN || target != GetElement())
        return false;
    if (nKeyCode == VK_RETURN)
    {
        // A prompt taken with the arrows is opened as a prompt; any other
        // text is searched.
        const bool bPrompt = ArePromptsShown() && m_pPrompts->GetCurrentIndex() >= 0 &&
                             m_pPrompts->GetCurrPrompt() == GetValue();
        HidePrompts("VK_RETURN");
        if (bPrompt)
            m_sigPrompt(GetValue());
        else
            m_sigSearch(GetValue());
        return true;
    }
    if (nKeyCode == VK_ESCAPE)
    {
        // The first Escape closes the list, the next one empties the box.
        if (ArePromptsShown())
            HidePrompts("VK_ESCAPE");
        else
        {
            StopTimer(kPromptsTimer);
            SetValue("");
        }
        return true;
    }
    if (!ArePromptsShown())
        return false;
    const int nPage = m_pPrompts->GetPagePromptsCount();
    switch (nKeyCode)
    {
    case VK_PRIOR: m_pPrompts->PrevPrompt(nPage); break;
    case VK_NEXT: m_pPrompts->NextPrompt(nPage); break;
    case VK_UP: m_pPrompts->PrevPrompt(1); break;
    case VK_DOWN: m_pPrompts->NextPrompt(1); break;
    default: return false;
    }
    TakeCurrentPrompt();
    return true;
}
