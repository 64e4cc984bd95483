#pragma once

#include "HTMLayoutCtrl.h"
#include "PopupWin.h"

#include <boost/signals2/signal.hpp>

#include <memory>
#include <string>
#include <vector>

class CClientContext;

// The prompts under the search box: registry phrases and prompt-list entries
// for the typed text (and its synonyms), one "option" each; the current one
// carries checked="1".
class CSearchPromptsWin : public CPopupWin
{
public:
    explicit CSearchPromptsWin(CClientContext& context);
    bool CreatePrompts(CWnd* pOwner);

    // Stores the text and fills the list for it.
    void SetSearchString(const std::string& strText);
    const std::string& GetSearchString() const { return m_strSearchString; }
    std::size_t GetPromptsCount() const { return m_prompts.size(); }
    const std::vector<std::string>& GetPrompts() const { return m_prompts; }
    // Options that fit in the list's height on screen (the window's body
    // scrolls a long list) over the first option's, less 4 (at least 1; 5
    // until the browser has measured them).
    int GetPagePromptsCount() const;
    static int PagePromptsCount(int nListHeight, int nShownHeight, int nOptionHeight);
    bool NextPrompt(int nCount);
    bool PrevPrompt(int nCount);
    void FirstPrompt();
    void LastPrompt();
    std::string GetCurrPrompt() const;
    int GetCurrentIndex() const { return m_nCurrent; }
    // How many times the list was made (each costs a registry look-up).
    unsigned GetFillCount() const { return m_nFills; }

    boost::signals2::signal<void(const std::string&)> m_sigPromptClick;
    // The prompt the arrows went to, its place and the number of prompts.
    boost::signals2::signal<void(const std::string&, std::size_t, std::size_t)> m_sigCurrent;

    static constexpr int kMaxHeight = 360;

protected:
    bool OnHyperlinkClick(CElement he, CDomEvent& event) override;
    void OnContentSizeChanged() override;

private:
    void UpdateSearchPrompts(const std::string& strText);
    void SetCurrent(int nIndex);

    CClientContext& m_context;
    std::string m_strSearchString;
    std::vector<std::string> m_prompts;
    int m_nCurrent = -1;
    unsigned m_nFills = 0;
};

// The search box: it prompts while the user types (100 ms after the last
// change, at once while the list is open), moves through the prompts with
// the arrow and page keys, and hands Enter or a chosen prompt to its owner.
class CSearchEditCtrl : public CHTMLayoutEditCtrl
{
public:
    static constexpr unsigned kPromptsTimer = 1000;
    static constexpr unsigned kPlaceTimer = 1001;
    static constexpr unsigned kPromptsDelayMs = 100;
    // Until the browser tells where it laid the box out, the list is placed
    // again every kPlaceRetryMs, at most kPlaceTries times.
    static constexpr unsigned kPlaceRetryMs = 50;
    static constexpr unsigned kPlaceTries = 100;

    // The prompts come from the context's index, prompt list and synonyms.
    explicit CSearchEditCtrl(CClientContext& context) : m_context(context) {}

    // The window the box is in (the pop-up is placed from it).
    void SetOwnerWindow(CWnd* pOwner) { m_pOwner = pOwner; }
    void OnUpdateSearchString(const std::string& strText);
    void HidePrompts(const char* szReason);
    // The content was reloaded: the list made from the old library goes.
    void DropPrompts();
    bool ArePromptsShown() const { return m_pPrompts && m_pPrompts->IsShown(); }
    bool IsPromptsTimerPending() const { return m_bTimerPending; }
    CSearchPromptsWin* GetPromptsWin() { return m_pPrompts.get(); }

    bool OnEditValueChanging(CElement he, CDomEvent& event) override;
    bool on_timer(CElement he, unsigned nTimerId) override;
    bool on_key(CElement he, CElement target, unsigned nEvent, unsigned nKeyCode,
                unsigned nKeys) override;

    // Enter (the box's text) and a prompt chosen from the list.
    boost::signals2::signal<void(const std::string&)> m_sigSearch;
    boost::signals2::signal<void(const std::string&)> m_sigPrompt;

private:
    bool EnsurePromptsWin();
    // The box is a combobox whose list lives in another frame: it says
    // whether the list is open, and a live region beside it reads out the
    // list's size and the prompt the arrows go to.
    void SetExpanded(bool bExpanded);
    void Announce(const std::string& strText);
    void ShowPrompts(const std::string& strText);
    // False while the box's place is not known yet.
    bool PlacePrompts();
    void TakeCurrentPrompt();
    void StopTimer(unsigned nTimerId);

    CClientContext& m_context;
    CWnd* m_pOwner = nullptr;
    std::unique_ptr<CSearchPromptsWin> m_pPrompts;
    bool m_bTimerPending = false;
    unsigned m_nPlaceTries = 0;
};
