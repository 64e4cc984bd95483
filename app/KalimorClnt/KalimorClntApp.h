#pragma once

#include "BlankInfoData.h"
#include "Bookmark.h"
#include "BridgeServer.h"
#include "ClientContext.h"
#include "CommandLineInfo.h"
#include "DesktopNotifier.h"
#include "DocumentSearch.h"
#include "EncyclopediaData.h"
#include "FullTextSearch.h"
#include "FullTextSearch2.h"
#include "KalimorHTMLayoutDataLoader.h"
#include "MRUDocumentData.h"
#include "MainWindow.h"
#include "MessageLoop.h"
#include "MorphoSearch.h"
#include "NewInfoData.h"
#include "ProfileConfig.h"
#include "RegistryConfig.h"
#include "ResourceConfig.h"
#include "SearchPrompt2Manager.h"
#include "SearchRegistry.h"
#include "SingleInstance.h"
#include "SynonymsSearch.h"
#include "SystemTray.h"
#include "TaxCalendar.h"
#include "ViewHistoryData.h"
#include "WindowManager.h"
#include "WorkCalendar.h"

#include <chrono>
#include <memory>
#include <string>

// The one application object: owns the settings, the content, the UI
// resources, the message loop and the main window; runs start-up, the
// maintenance modes and shut-down.
class CKalimorClntApp : public CClientContext
{
public:
    CKalimorClntApp();
    ~CKalimorClntApp() override;

    // Start-up; false ends the process at once (maintenance modes, a second
    // start, a main window that could not be made).
    bool InitInstance(int argc, const char* const* argv);
    int Run();
    int ExitInstance();

    bool LoadData();
    bool LoadDicts();
    bool LoadContent();
    void FreeData();
    void FreeContent();
    void FreeDicts();

    // With bPrintUrl the start address goes to standard output instead of a
    // browser being opened (--no-browser).
    void SetPrintUrl(bool bPrintUrl) { m_bPrintUrl = bPrintUrl; }

    // CClientContext
    CRegistryConfig& GetRegistryConfig() override { return m_registry; }
    const CResourceConfig& GetResourceConfig() const override { return m_resources; }
    CAbstractHTMLayoutDataLoader* GetDataLoader() override { return &m_loader; }
    void SetTrayMode(bool bTrayMode) override;
    bool IsTrayMode() const override { return m_bTrayMode; }
    void ShowMainWindowFromTray() override;
    std::string GetContentFolder() const override { return m_profile.m_strContentDirPath; }
    CEncyclopediaData* GetEncyclopedia() override { return &m_encyclopedia; }
    CBookmarkVector* GetBookmarks() override { return &m_bookmarks; }
    bool SaveBookmarks() override { return m_bookmarks.SaveData(m_profile.m_strBookmarksPath); }
    CViewHistoryData* GetViewHistory() override { return &m_viewHistory; }
    const CMRUDocumentData* GetMRUDocuments() override { return &m_mruDocuments; }
    CDocumentSearch* GetDocumentSearch() override { return &m_documentSearch; }
    CSearchRegistry* GetSearchRegistry() override { return &m_searchRegistry; }
    const CSearchPrompt2Manager* GetPromptList() override { return &m_searchPrompts; }
    const CSynonymsSearch* GetSynonyms() override { return &m_synonyms; }
    CBlankInfoData* GetBlanks() override { return &m_blanks; }
    const CNewInfoData* GetNews() override { return &m_news; }
    const CTaxCalendar* GetTaxCalendar() override { return &m_taxCalendar; }
    const CWorkCalendar* GetWorkCalendar() override { return &m_workCalendar; }
    const CProfileConfig* GetProfile() override { return &m_profile; }
    void ReloadData() override;
    std::time_t Now() const override;
    bool IsUpdateDialogOpen() const
    {
        return m_pMainWindow && m_pMainWindow->GetUpdates().IsRunning();
    }
    bool HasTrayHost() const override { return m_pTray && m_pTray->HasHost(); }
    IUpdateNotifier* GetUpdateNotifier() override { return m_pNotifier.get(); }

private:
    void ShowToUser();
    // The tray, the notifications and the autostart entry.
    void StartDesktop();
    void OnPrivateMessage(unsigned nMessage);

    CRegistryConfig m_registry;
    CProfileConfig m_profile;
    CResourceConfig m_resources;
    CEncyclopediaData m_encyclopedia;
    CBlankInfoData m_blanks;
    CNewInfoData m_news;
    CMRUDocumentData m_mruDocuments;
    CMorphoSearch m_morpho;
    CFullTextSearch m_fullText;
    CFullTextSearch2 m_phraseIndex;
    CSearchPrompt2Manager m_searchPrompts;
    CSearchRegistry m_searchRegistry{&m_morpho, &m_searchPrompts};
    CSynonymsSearch m_synonyms;
    CDocumentSearch m_documentSearch{m_phraseIndex, m_morpho};
    CTaxCalendar m_taxCalendar;
    CWorkCalendar m_workCalendar;
    CBookmarkVector m_bookmarks;
    CViewHistoryData m_viewHistory;
    CKalimorHTMLayoutDataLoader m_loader;
    CKalimorCommandLineInfo m_commandLine;
    bool m_bTrayMode = false;
    std::string m_strPendingInstaller;

    CSingleInstance m_instance;
    std::unique_ptr<CMessageLoop> m_pLoop;
    std::unique_ptr<CWindowManager> m_pWindows;
    std::unique_ptr<CBridgeServer> m_pBridge;
    std::unique_ptr<CMainWindow> m_pMainWindow;
    std::unique_ptr<CSystemTray> m_pTray;
    std::unique_ptr<CDesktopNotifier> m_pNotifier;
    bool m_bPrintUrl = false;
    bool m_bBrowserStarting = false;
    std::uint64_t m_nConnectionsAtOpen = 0;
    std::chrono::steady_clock::time_point m_lastBrowserOpen{};
    // Seconds the windows' clock runs ahead (moved by the browser tests).
    std::time_t m_tClockOffset = 0;
};
