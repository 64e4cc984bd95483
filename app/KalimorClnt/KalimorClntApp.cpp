#include "KalimorClntApp.h"

#include "ContentSwap.h"
#include "FolderInstall.h"
#include "RunningClient.h"
#include "WorkerThreads.h"

#include "AutostartEntry.h"
#include "BrowserLauncher.h"
#include "ElementBehaviors.h"
#include "Logger.h"
#include "StringTable.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace
{
constexpr auto kBrowserReopenPause = std::chrono::seconds(10);
} // namespace

CKalimorClntApp::CKalimorClntApp() : m_loader(m_resources), m_instance(kKalimorMutexName)
{
    CClientContext::Set(this);
}

CKalimorClntApp::~CKalimorClntApp()
{
    CClientContext::Set(nullptr);
}

bool CKalimorClntApp::InitInstance(int argc, const char* const* argv)
{
    m_commandLine.ParseCommandLine(argc, argv);
    if (m_commandLine.IsUninstall())
    {
        m_registry.SetRegistryKey("Kalimor");
        m_registry.LoadSettings();
        m_registry.SetContentVersion(0);
        m_registry.SaveSettings();
        CRunningClient::StopSystemClient();
        return false;
    }
    if (m_commandLine.IsReplaceExe())
    {
        CRunningClient::StopAndReplaceSystemClient();
        return false;
    }
    if (!m_instance.Acquire())
    {
        CRunningClient::OpenSystemClientFromTray();
        return false;
    }
    m_pLoop = std::make_unique<CMessageLoop>();
    m_pWindows = std::make_unique<CWindowManager>(*m_pLoop);
    CElementBehaviors::RegisterStandard();
    if (const char* szHooks = std::getenv("KALIMOR_TEST_HOOKS");
        szHooks && std::string_view(szHooks) == "1")
        m_pWindows->SetTestHook([this](const nlohmann::json& event) {
            // The browser tests move the windows' clock instead of waiting.
            m_tClockOffset += CWindowManager::EventInt(event, "advanceClock");
        });

    m_registry.SetRegistryKey("Kalimor");
    m_registry.LoadSettings();
    m_profile.LoadSettings();
    GetLog().Open(m_profile.m_strLogFilePath, m_registry.m_nLogLevel);
    KTRACE("CKalimorClntApp::InitInstance");
    KLOG_NOTICE << "Kalimor client starting...";
    KLOG_DEBUG << "CRegistryConfig::LoadSettings: m_bAutoStart == " << int(m_registry.m_bAutoStart);
    KLOG_DEBUG << "CRegistryConfig::LoadSettings: m_bAutoUpdate == "
               << int(m_registry.m_bAutoUpdate);
    KLOG_DEBUG << "CRegistryConfig::LoadSettings: m_strLogin == " << m_registry.m_strLogin;
    KLOG_DEBUG << "CRegistryConfig::LoadSettings: m_bMaximizeWindow == "
               << int(m_registry.m_bMaximizeWindow);
    KLOG_DEBUG << "CRegistryConfig::LoadSettings: m_nLogLevel == " << m_registry.m_nLogLevel;
    KLOG_DEBUG << "CProfileConfig::LoadSettings: m_strProfileRoot == "
               << m_profile.m_strProfileRoot;
    KLOG_DEBUG << "CProfileConfig::LoadSettings: m_strContentDirPath == "
               << m_profile.m_strContentDirPath;

    // A staging folder or an old tree left by an install that was killed goes
    // before the content is read (an install running elsewhere keeps its own).
    CContentSwap::CleanUpAtStart(m_profile.m_strContentDirPath);

    if (m_commandLine.IsAutoStart())
        SetTrayMode(true);
    if (m_commandLine.IsUpdates())
    {
        CFolderInstall::UpdateDataFrom(m_commandLine.GetUpdateFolder(), m_registry, m_profile);
        return false;
    }
    StartDesktop();

    // The window system of this client: the loopback bridge to the browser.
    m_pBridge = std::make_unique<CBridgeServer>(*m_pLoop, *m_pWindows, m_resources, m_loader,
                                                m_profile.m_strContentDirPath);
    if (!m_pBridge->Start())
    {
        KLOG_ERR << "Can't initiliaze main window";
        std::fprintf(stderr, "Main Window initialize error\n");
        return false;
    }
    m_pWindows->SetSink([this](const nlohmann::json& ops) { m_pBridge->Publish(ops); });
    // The bridge may report one closed page twice (its beacon and its stream):
    // the close is handled at once, so the second report finds the window hidden
    // and does not close the client that went into the tray.
    m_pBridge->SetOnBrowserClosed([this] {
        if (m_pMainWindow && m_pMainWindow->IsWindowVisible())
            m_pMainWindow->SendMessage(WM_CLOSE);
    });
    if (!m_instance.StartListening([this](unsigned nMessage) { OnPrivateMessage(nMessage); }))
        KLOG_ERR << "CKalimorClntApp::InitInstance can't listen for other starts";

    std::unique_ptr<CSplashDlg> pSplash;
    if (!m_bTrayMode)
    {
        ShowToUser();
        pSplash = std::make_unique<CSplashDlg>(*this);
        if (!pSplash->Create())
            pSplash.reset();
        m_pWindows->Flush();
    }
    if (!LoadData())
        KLOG_ERR << "Can't load data";

    m_pMainWindow = std::make_unique<CMainWindow>(*this, std::move(pSplash));
    if (!m_pMainWindow->Create())
    {
        m_pMainWindow.reset();
        KLOG_ERR << "Can't initiliaze main window";
        std::fprintf(stderr, "Main Window initialize error\n");
        return false;
    }
    m_pWindows->SetMainWindow(m_pMainWindow.get());
    m_pTray->SetOwner(m_pMainWindow.get());
    if (m_bTrayMode)
        KLOG_NOTICE << "CKalimorClntApp::InitInstance started in tray mode";
    else
        ShowMainWindowFromTray();
    return true;
}

int CKalimorClntApp::Run()
{
    return m_pLoop ? m_pLoop->Run() : 0;
}

int CKalimorClntApp::ExitInstance()
{
    m_pMainWindow.reset();
    if (m_pWindows)
        m_pWindows->Flush();
    m_instance.StopListening();
    // Requests and unpacking stopped with the update dialog; their threads
    // may still post to the loop and log until they end.
    if (!CWorkerThreads::WaitAll(std::chrono::seconds(10)))
        KLOG_ERR << "CKalimorClntApp::ExitInstance a worker thread did not end";
    m_pTray.reset();
    m_pNotifier.reset();
    if (m_pBridge)
        m_pBridge->Stop();
    FreeContent();
    KLOG_NOTICE << "Kalimor client stopped";
    GetLog().Close();
    m_pBridge.reset();
    m_pWindows.reset();
    m_pLoop.reset();
    // A newer client is a package the user installs; nothing starts here.
    return 0;
}

void CKalimorClntApp::OnPrivateMessage(unsigned nMessage)
{
    // From the listener's thread: the main window gets it on the UI thread,
    // and a stop is sent (the other process waits until it was handled).
    if (!m_pLoop)
        return;
    if (nMessage == WM_STOP_KALIMOR)
        m_pLoop->SendTask([this] {
            if (m_pMainWindow && m_pMainWindow->IsWindow())
                m_pMainWindow->SendMessage(WM_STOP_KALIMOR);
        });
    else if (nMessage == WM_OPEN_FROM_TRAY)
        m_pLoop->PostTask([this] {
            if (m_pMainWindow && m_pMainWindow->IsWindow())
                m_pMainWindow->SendMessage(WM_OPEN_FROM_TRAY);
        });
}

void CKalimorClntApp::ShowToUser()
{
    if (!m_pBridge || m_pBridge->HasBrowser())
        return;
    // A browser just started may take a few seconds to connect: it is not
    // started a second time meanwhile. One that came and went is.
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t nConnections = m_pBridge->GetConnectionCount();
    if (m_bBrowserStarting && nConnections == m_nConnectionsAtOpen &&
        now - m_lastBrowserOpen < kBrowserReopenPause)
        return;
    m_bBrowserStarting = true;
    m_nConnectionsAtOpen = nConnections;
    m_lastBrowserOpen = now;
    const std::string strUrl = m_pBridge->GetStartUrl();
    if (m_bPrintUrl)
    {
        std::cout << strUrl << std::endl;
        return;
    }
    CBrowserLauncher::Open(strUrl, m_profile.m_strProfileRoot + "/browser");
}

std::time_t CKalimorClntApp::Now() const
{
    return std::time(nullptr) + m_tClockOffset;
}

void CKalimorClntApp::SetTrayMode(bool bTrayMode)
{
    KTRACE("CKalimorClntApp::SetTrayMode");
    m_bTrayMode = bTrayMode;
    if (m_pTray && bTrayMode)
        m_pTray->ShowIcon();
    else if (m_pTray)
        m_pTray->HideIcon();
}

void CKalimorClntApp::StartDesktop()
{
    // The desktop may have turned autostart off in its own settings.
    if (CAutostartEntry::ForThisProgram(KALIMOR_APP_ID).Sync(m_registry.m_bAutoStart))
        m_registry.SaveSettings();
    m_pTray = std::make_unique<CSystemTray>(*m_pLoop);
    m_pTray->Create();
    if (m_bTrayMode)
        m_pTray->ShowIcon();
    m_pNotifier =
        std::make_unique<CDesktopNotifier>(std::string(CStringTable::Get(IDS_MAIN_WINDOW_TITLE)),
                                           KALIMOR_APP_ID, CSystemTray::FindAppIcon());
}

void CKalimorClntApp::ShowMainWindowFromTray()
{
    KTRACE("CKalimorClntApp::ShowMainWindowFromTray");
    m_bTrayMode = false;
    if (m_pTray)
        m_pTray->HideIcon();
    if (!m_pMainWindow)
        return;
    m_pMainWindow->ShowWindow(SW_SHOWMAXIMIZED);
    m_pMainWindow->RecalcLayout();
    ShowToUser();
}

namespace
{
// One step of the dictionary load: its notice, the load, and on failure its
// warning and the object emptied; the client goes on without it.
template <typename TObject, typename TLoad>
void LoadStep(const char* szNotice, const char* szWarning, TObject& object, TLoad load)
{
    KLOG_NOTICE << szNotice;
    if (!load(object))
    {
        KLOG_WARN << szWarning;
        object.FreeData();
    }
}
} // namespace

bool CKalimorClntApp::LoadDicts()
{
    KTRACE("CKalimorClntApp::LoadDicts");
    m_morpho.SetMorphologyFolder(m_profile.m_strMorphologyDirPath);
    m_fullText.SetIndexFolder(m_profile.m_strFullTextDirPath);
    m_phraseIndex.SetIndexFolder(m_profile.m_strFullTextDirPath);
    const auto loadFrom = [](const std::string& strPath) {
        return [&strPath](auto& object) { return object.LoadData(strPath); };
    };
    const auto load = [](auto& object) { return object.LoadData(); };
    LoadStep("Load morpho dictionaries", "Can't load morpho dictionaries", m_morpho, load);
    LoadStep("Load search indexes", "Can't load search indexes", m_fullText, load);
    LoadStep("Load search phrase indexes", "Can't load phrase indexes", m_phraseIndex, load);
    LoadStep("Load search registry", "Can't load search registry", m_searchRegistry,
             loadFrom(m_profile.m_strSearchRegistryPath));
    LoadStep("Load synonyms", "Can't load synonyms", m_synonyms,
             loadFrom(m_profile.m_strSynonymsPath));
    LoadStep("Load search prompts", "Can't load search prompts2", m_searchPrompts,
             loadFrom(m_profile.m_strSearchPrompts2Path));
    // The prompt map is built beside the rest of the start rather than on
    // the user's first keystroke.
    m_searchRegistry.StartBuildingSearchPromptMap();
    return true;
}

bool CKalimorClntApp::LoadContent()
{
    KLOG_NOTICE << "Loading local content";
    if (!m_encyclopedia.LoadData(m_profile.m_strEncyclopediaPath, m_profile.m_strDocumentsDirPath))
    {
        KLOG_WARN << "Can't load encyclopedia";
        m_encyclopedia.FreeData();
    }
    if (!m_blanks.LoadData(m_profile.m_strBlanksPath))
    {
        KLOG_WARN << "Can't load blank data";
        m_blanks.FreeData();
    }
    if (!m_mruDocuments.LoadData(m_profile.m_strMRUDocumentsPath))
    {
        KLOG_WARN << "Can't load mru documents";
        m_mruDocuments.FreeData();
    }
    if (!m_news.LoadData(m_profile.m_strNewsPath))
    {
        KLOG_WARN << "Can't load news data";
        m_news.FreeData();
    }
    if (!m_viewHistory.LoadData(m_profile.m_strViewHistoryPath))
    {
        KLOG_WARN << "Can't load view history data";
        m_viewHistory.FreeData();
    }
    if (!m_taxCalendar.LoadData(m_profile.m_strTaxCalendarPath))
    {
        KLOG_WARN << "Can't load tax calendar";
        m_taxCalendar.FreeData();
    }
    // The work calendar goes with the tax calendar, but one does not need the other.
    if (!m_workCalendar.LoadData(m_profile.m_strWorkCalendarPath))
    {
        KLOG_WARN << "Can't load work calendar";
        m_workCalendar.FreeData();
    }
    KLOG_NOTICE << "Local content is loaded";
    return true;
}

bool CKalimorClntApp::LoadData()
{
    KTRACE("CKalimorClntApp::LoadData");
    const auto began = std::chrono::steady_clock::now();
    if (!LoadDicts())
        KLOG_WARN << "Can't load dictionaries...";
    if (!LoadContent())
        KLOG_WARN << "Can't load content...";
    KLOG_NOTICE << "Data loaded in "
                << std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - began)
                       .count()
                << " ms";
    if (!m_bookmarks.LoadData(m_profile.m_strBookmarksPath, m_encyclopedia, &m_blanks))
        KLOG_ERR << "Can't load bookmark data";
    return true;
}

void CKalimorClntApp::FreeContent()
{
    m_encyclopedia.FreeData();
    m_blanks.FreeData();
    m_mruDocuments.FreeData();
    m_news.FreeData();
    m_viewHistory.FreeData();
    m_taxCalendar.FreeData();
    m_workCalendar.FreeData();
    m_searchPrompts.FreeData();
}

void CKalimorClntApp::FreeDicts()
{
    m_morpho.FreeData();
    m_fullText.FreeData();
    m_phraseIndex.FreeData();
    m_searchRegistry.FreeData();
    m_synonyms.FreeData();
}

void CKalimorClntApp::ReloadData()
{
    KTRACE("CKalimorClntApp::ReloadData");
    FreeData();
    LoadData();
}

void CKalimorClntApp::FreeData()
{
    FreeContent();
    FreeDicts();
    m_bookmarks.FreeData();
}
