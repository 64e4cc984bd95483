#pragma once

#include "BlankInfoWin.h"
#include "BlankListWin.h"
#include "BlankSectionListWin.h"
#include "BookmarkListWin.h"
#include "EncyclopediaAccountantWin.h"
#include "HistoryWin.h"
#include "MainKeyboard.h"
#include "MainLayout.h"
#include "ModalViewers.h"
#include "MovementHistory.h"
#include "NewsCalendarWin.h"
#include "NewsHeaderWin.h"
#include "NewsPanelWin.h"
#include "NewsScrollBarWnd.h"
#include "Panels.h"
#include "SearchPanelWin.h"
#include "SearchRegistryWin.h"
#include "SearchResultWin.h"
#include "Shortcuts.h"
#include "SmallDialogs.h"
#include "TaxCalendarWin.h"
#include "TrayCommands.h"
#include "UpdateController.h"
#include "UpdateFrame.h"
#include "ViewCommands.h"
#include "ViewHost.h"
#include "WelcomeWin.h"
#include "Wnd.h"

#include <array>
#include <memory>
#include <string>

#include "MainWindowMessages.h"

// The application's frame: the browser page itself. It owns every other
// window as a child, lays them out, switches between the views, keeps the
// back/forward history and lives on in tray mode when closed.
class CMainWindow : public CWnd, public IViewHost, public IUpdateFrame
{
public:
    CMainWindow(CClientContext& context, std::unique_ptr<CSplashDlg> pSplash);
    ~CMainWindow() override;

    bool Create();
    // IViewHost
    bool GoToBookmark(std::unique_ptr<CBookmark> pBookmark, bool bShow) override;
    CBookmark* GetCurrentView() override { return m_history.GetCurrent(); }
    void ShowImage(const std::string& strPath) override { m_viewers.ShowImage(strPath); }
    void UpdateSearchSample() override;
    void OpenLink(const std::string& strUrl) override { m_commands.OpenLink(strUrl); }
    std::string DownloadContentFile(const std::string& strRelativePath) override
    {
        return m_updates.DownloadContentFile(strRelativePath);
    }

    // Shows the view; with bFocus the keyboard moves into it (a user's own
    // going there), so that a screen reader reads out where the user is.
    void ShowBookmark(CBookmark& bookmark, bool bFocus = false);
    bool CheckContent() { return m_commands.CheckContent(); }
    void SetShadowMode(bool bOn) override;
    bool IsShadowMode() const override { return m_shadow.HasVisibleStyle(); }
    // The wait cursor over the whole window, shown before the work starts.
    void SetWaitCursor(bool bWait) override;
    CWnd& GetFrameWnd() override { return *this; }
    void PostStop() override { PostMessage(WM_STOP_KALIMOR); }
    // The content was replaced on the disk: every window lets go of the old
    // one, the data is read again, and the home view shows.
    void ReloadContent() override;
    // A forms link of a document whose form the library holds: that form's
    // view is shown. False for any other address.
    bool ShowFormOf(const std::string& strUrl) { return m_commands.ShowFormOf(strUrl); }
    void RecalcLayout();
    void OnUpdateStatus() override;
    void OnUpdateData();
    int GetBodyKind() const { return m_nBodyKind; }
    CMovementHistory& GetMovementHistory() { return m_history; }
    const std::string& GetNewClientUrl() const { return m_updates.GetNewClientUrl(); }
    CTopPanelWin& GetTopPanel() { return m_topPanel; }
    CStatusPanelWin& GetStatusPanel() { return m_statusPanel; }
    CSearchPanelWin& GetSearchPanel() { return m_searchPanel; }
    CWelcomeWin& GetWelcomeWin() { return m_welcome; }
    CEncyclopediaAccountantWin& GetEncyclopediaWin() { return m_encyclopedia; }
    CHistoryWin& GetHistoryWin() { return m_historyWin; }
    CBookmarkListWin& GetBookmarkListWin() { return m_bookmarkList; }
    // The window that shows a view kind (null for an unknown kind).
    CWnd* GetBodyWindow(int nKind);

    std::intptr_t WindowProc(unsigned nMsg, std::uintptr_t wParam, std::intptr_t lParam) override;

    void OnHomeButton();
    void OnBackButton();
    void OnForwButton();
    void OnBookmarksButton() { m_commands.ShowBookmarks(); }
    void OnHistoryButton() { m_commands.ShowHistory(); }
    void OnUpdateButton() { m_updates.OnUpdateButton(); }
    void OnConfigButton() { m_updates.OnConfigButton(); }
    void OnAboutButton() { m_commands.ShowAbout(); }
    void OnSearch(const std::string& strQuery) { m_commands.Search(strQuery); }
    void OnSearchPrompt(const std::string& strPrompt) { m_commands.SearchPrompt(strPrompt); }
    void OnRegistryButton() { m_commands.ShowRegistry(); }
    // Opens the sections of the documents a phrase or prompt points to: one
    // as its section, several as a list; strText becomes the view's search
    // string.
    void OpenLinks(const std::vector<std::string>& links, const std::string& strText)
    {
        m_commands.OpenLinks(links, strText);
    }
    CSearchResultWin& GetSearchResultWin() { return m_searchResult; }
    CSearchRegistryWin& GetSearchRegistryWin() { return m_searchRegistry; }
    void OnSupport() { m_commands.OpenSupport(); }
    void OnAppShow() { m_tray.ShowFromTray(); }
    void OnBlanks();
    void SelectEncyclopedySection(const std::string& strType)
    {
        m_commands.SelectSectionType(strType);
    }
    void OnSelectMRUDocument(const CMRUDocument& document)
    {
        m_commands.OpenRecentDocument(document);
    }
    void OnHowToUse() { m_viewers.ShowHowToUse(); }
    void OnActivate(bool bActive);
    // The update, started from the tray menu (silent in tray mode) or from the
    // top panel's menu.
    void OnAppUpdate(bool bSilent) { m_updates.OnAppUpdate(bSilent); }
    // A form's file named by a document: opened with the desktop's handler.
    void OnDownloadBlank(const std::string& strUrl);
    // A filled sample of a form named by a document: shown in its place.
    void OnViewFilledBlank(const std::string& strUrl);
    // The update the client runs by itself while it sits in the tray, when
    // the user asked for automatic updates.
    void OnScheduledUpdate() { m_updates.OnScheduledUpdate(); }
    bool IsForeground() const override;
    CUpdateController& GetUpdates() { return m_updates; }
    CNewsPanelWin& GetNewsPanel() { return m_newsPanel; }
    CNewsScrollBarWnd& GetNewsScrollBar() { return m_newsScrollBar; }
    CNewsHeaderWin& GetNewsHeader() { return m_newsHeader; }
    CNewsCalendarWin& GetNewsCalendar() { return m_newsCalendar; }
    CTaxCalendarWin& GetTaxCalendarWin() { return m_taxCalendar; }
    CBlankInfoWin& GetBlankInfoWin() { return m_blankView; }
    // The tray menu's and the top panel's commands.
    void OnCommand(unsigned nCommand) { m_tray.OnCommand(nCommand); }

protected:
    void OnSize(int nWidth, int nHeight) override;
    void OnTimer(unsigned nId) override;
    void OnClose() override { m_tray.Close(); }
    void OnDestroy() override;

private:
    void CloseSplashWnd();
    void SetBodyWinKind(int nKind);
    void UpdateNavigation();
    bool CreateChildren(const CRect& rect);
    void ApplyLayout(const CMainLayout& layout);

    CClientContext& m_context;
    CMovementHistory m_history;
    CViewCommands m_commands{m_context, *this, [this](bool bWait) { SetWaitCursor(bWait); }};
    CModalViewers m_viewers{m_context, *this, *this};
    CTrayCommands m_tray{m_context, *this, m_updates};
    std::unique_ptr<CSplashDlg> m_pSplash;
    // The children, in the order they are created.
    CTopPanelWin m_topPanel;
    CSearchPanelWin m_searchPanel;
    CWelcomeWin m_welcome;
    CEncyclopediaAccountantWin m_encyclopedia;
    CStatusPanelWin m_statusPanel;
    CSearchRegistryWin m_searchRegistry;
    CSearchResultWin m_searchResult;
    CBookmarkListWin m_bookmarkList;
    CHistoryWin m_historyWin;
    CNewsHeaderWin m_newsHeader;
    CNewsScrollBarWnd m_newsScrollBar;
    CNewsPanelWin m_newsPanel;
    CNewsCalendarWin m_newsCalendar;
    CBlankWnd m_leftMargin, m_rightMargin;
    CTaxCalendarWin m_taxCalendar;
    CBlankInfoWin m_blankView;
    CBlankListWin m_blankList;
    CBlankSectionListWin m_blankSectionList;
    CBlankWnd m_shadow;
    int m_nBodyKind = 0;
    int m_nNewsPanelHeight = 218;
    bool m_bActive = true;
    CMainKeyboard m_keyboard{
        {m_topPanel, m_searchPanel, m_encyclopedia, m_statusPanel, [this] { return m_nBodyKind; },
         [this](int nKind) { return dynamic_cast<CHTMLayoutWin*>(GetBodyWindow(nKind)); },
         [this](int nStep) { nStep < 0 ? OnBackButton() : OnForwButton(); }}};
    // Declared last, so it goes first: before the windows its dialogs lie over.
    CUpdateController m_updates{m_context, *this};
};
