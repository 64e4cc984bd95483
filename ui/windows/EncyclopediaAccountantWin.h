#pragma once

#include "BrowserContentWin.h"
#include "NavigatorWin.h"
#include "SelectSectionWin.h"
#include "ViewHost.h"
#include "Wnd.h"

#include <boost/signals2/signal.hpp>

#include <ctime>
#include <string>

class CClientContext;

// The reading place (view kind 1): the navigator beside the document with
// its tool bar, and the floating section selector. It records a document in
// the view history once it has been read for a while.
class CEncyclopediaAccountantWin : public CWnd
{
public:
    static constexpr int kNavigatorWidth = 250;
    static constexpr int kContentLeft = 260;
    static constexpr unsigned kViewTimer = 1;
    static constexpr unsigned kViewTimerPeriodMs = 1000;
    static constexpr std::time_t kViewSeconds = 11;

    CEncyclopediaAccountantWin(CClientContext& context, IViewHost* pHost);
    bool Create(unsigned nStyle, const CRect& rect, CWnd* pParent, int nId);

    void ShowBookmark(const CBookmark& view);
    // strAnchor: where to scroll when the section is a whole page (a link's
    // anchor that the section tree does not know); strPage: a page shown in
    // place of the section's document.
    void ShowSection(CEncyclopediaSection* pSection, bool bAddToHistory, bool bHideFloatingPanel,
                     const std::string& strAnchor = {}, const std::string& strPage = {});

    void OnSelectSectionInNavigator(CEncyclopediaSection* pSection);
    void OnSelectSectionInSeeAlso(CEncyclopediaSection* pSection);
    void OnSelectSectionInFloatingPanel(CEncyclopediaSection* pSection);
    void OnGoToURL(const std::string& strUrl);
    void OnShowImage(const std::string& strUrl);
    void OnAddBookmarkClicked();
    void OnContentClicked();
    void OnSelectSectionClicked(bool bFromToolBar);
    void HideFloatingPanel();
    void OnDeactivateApp();
    // The forms actions of a document's sample and download links.
    void OnSpecialLink(const std::string& strKey);
    // F3 and Shift+F3: the next or previous word a search found.
    void MoveToFoundWord(int nStep) { m_content.GetView().MoveMark(nStep); }
    // Checks the view timer now (the timer does it every second).
    void CheckViewTimer();

    bool IsNavigatorShown() const { return m_bNavigatorShown; }
    CEncyclopediaSection* GetCurrentSection() const { return m_pSection; }
    CEncyclopediaSection* GetDocumentSection() const { return m_pDocumentSection; }
    const CEncyclopediaSection* GetTimedSection() const { return m_pTimedSection; }
    CNavigatorWin& GetNavigator() { return m_navigator; }
    CBrowserContentWin& GetBrowserContent() { return m_content; }
    CSelectSectionWin& GetSelector() { return m_selector; }

    // The content is about to be freed: every section pointer and map of the
    // old tree goes (this window's, the navigator's and the selector's).
    void ForgetContent();

    // A sample (bSample) or a file to download named by a document.
    boost::signals2::signal<void(const std::string&, bool)> m_sigFormsLink;

protected:
    void OnSize(int nWidth, int nHeight) override;
    void OnTimer(unsigned nId) override;

private:
    void UpdateControls();
    void FillLinkTables();
    void UpdateToolBar();
    void DeleteViewTimer() { m_pTimedSection = nullptr; }

    CClientContext& m_context;
    IViewHost* m_pHost;
    CNavigatorWin m_navigator;
    CBrowserContentWin m_content;
    CSelectSectionWin m_selector;
    CEncyclopediaSection* m_pFirstLevel = nullptr;
    CEncyclopediaSection* m_pDocumentSection = nullptr;
    CEncyclopediaSection* m_pSection = nullptr;
    std::time_t m_tViewStart = 0;
    CEncyclopediaSection* m_pTimedSection = nullptr;
    bool m_bNavigatorShown = true;
};
