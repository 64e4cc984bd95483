#pragma once

#include "BlankInfoData.h"
#include "Bookmark.h"
#include "ClientContext.h"
#include "ElementBehaviors.h"
#include "EncyclopediaData.h"
#include "HtmlDocument.h"
#include "HttpRequest.h"
#include "MRUDocumentData.h"
#include "MessageLoop.h"
#include "NewInfoData.h"
#include "ProfileConfig.h"
#include "TaxCalendar.h"
#include "TestSupport.h"
#include "ViewHistoryData.h"
#include "WindowManager.h"
#include "WorkCalendar.h"
#include "WorkerThreads.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <ctime>
#include <string>
#include <vector>

// The application's part that windows see: settings, the embedded pages,
// tray mode, the content and the user's data, a clock the test moves, and
// the desktop's handlers, which only note what they were asked.
class CTestContext : public CClientContext
{
public:
    explicit CTestContext(std::string strAppFolder = CResourceConfig::GetExecutableFolder())
        : m_resources(std::move(strAppFolder)),
          m_loader(m_resources)
    {
        // A service that refuses at once: windows ask it for a newer client.
        m_settings.m_service.m_strUpdateHost = m_settings.m_service.m_strWebHost = "127.0.0.1";
        m_settings.m_service.m_nUpdatePort = m_settings.m_service.m_nWebPort = 9;
        Set(this);
    }
    ~CTestContext() override { Set(nullptr); }
    CRegistryConfig& GetRegistryConfig() override { return m_registry; }
    const CResourceConfig& GetResourceConfig() const override { return m_resources; }
    CAbstractHTMLayoutDataLoader* GetDataLoader() override { return &m_loader; }
    void SetTrayMode(bool bTrayMode) override { m_bTray = bTrayMode; }
    bool IsTrayMode() const override { return m_bTray; }
    void ShowMainWindowFromTray() override { m_bTray = false; }
    bool OpenExternal(const std::string& strUrl) override
    {
        m_opened.push_back(strUrl);
        return m_bDesktopWorks;
    }
    bool OpenInWordProcessor(const std::string& strPath) override
    {
        m_opened.push_back("writer " + strPath);
        return m_bDesktopWorks;
    }
    std::string GetContentFolder() const override { return m_strContentFolder; }
    // The forms library, the news, the calendars and the update's setting.
    CBlankInfoData* GetBlanks() override { return &m_blanks; }
    const CNewInfoData* GetNews() override { return &m_news; }
    const CTaxCalendar* GetTaxCalendar() override { return &m_taxCalendar; }
    const CWorkCalendar* GetWorkCalendar() override { return &m_workCalendar; }
    const CProfileConfig* GetProfile() override { return m_pProfile; }
    CRequestSettings GetRequestSettings() const override { return m_settings; }
    void ReloadData() override
    {
        ++m_nReloads;
        if (m_reload)
            m_reload();
    }
    std::function<void()> m_reload; // what a test's reload frees and reads again
    IUpdateNotifier* GetUpdateNotifier() override { return m_pNotifier; }
    CEncyclopediaData* GetEncyclopedia() override { return &m_encyclopedia; }
    CBookmarkVector* GetBookmarks() override { return &m_bookmarks; }
    bool SaveBookmarks() override
    {
        ++m_nBookmarkSaves;
        return true;
    }
    CViewHistoryData* GetViewHistory() override { return &m_history; }
    const CMRUDocumentData* GetMRUDocuments() override { return &m_mru; }
    std::time_t Now() const override { return m_tNow; }
    CDocumentSearch* GetDocumentSearch() override { return m_pSearch; }
    CSearchRegistry* GetSearchRegistry() override { return m_pRegistry; }
    const CSearchPrompt2Manager* GetPromptList() override { return m_pPrompts; }
    const CSynonymsSearch* GetSynonyms() override { return m_pSynonyms; }

    CRegistryConfig m_registry;
    CResourceConfig m_resources;
    CKalimorHTMLayoutDataLoader m_loader;
    bool m_bTray = false;
    bool m_bDesktopWorks = true;
    std::vector<std::string> m_opened;
    std::string m_strContentFolder;
    CBlankInfoData m_blanks;
    CNewInfoData m_news;
    CTaxCalendar m_taxCalendar;
    CWorkCalendar m_workCalendar;
    const CProfileConfig* m_pProfile = nullptr;
    CRequestSettings m_settings;
    int m_nReloads = 0;
    IUpdateNotifier* m_pNotifier = nullptr;
    CEncyclopediaData m_encyclopedia;
    CBookmarkVector m_bookmarks;
    int m_nBookmarkSaves = 0;
    CViewHistoryData m_history;
    CMRUDocumentData m_mru;
    std::time_t m_tNow = 1'800'000'000;
    // The search objects, when a test has them.
    CDocumentSearch* m_pSearch = nullptr;
    CSearchRegistry* m_pRegistry = nullptr;
    const CSearchPrompt2Manager* m_pPrompts = nullptr;
    const CSynonymsSearch* m_pSynonyms = nullptr;
};

// A loop and a window manager on the test's thread; a modal loop that never
// ends makes the test fail instead of hanging.
struct CWindowsFixture : ::testing::Test
{
    CWindowsFixture()
    {
        CElementBehaviors::RegisterStandard();
        loop.BindToCurrentThread();
        loop.SetTimer(std::chrono::seconds(20), [this] {
            ADD_FAILURE() << "a modal loop did not end";
            loop.Quit(1);
        });
    }
    // Requests the windows started end before the loop they post to, and
    // before the environment is put back.
    ~CWindowsFixture() override { EXPECT_TRUE(CWorkerThreads::WaitAll(std::chrono::seconds(20))); }

    // Sets an environment variable until the fixture ends. Workers read the
    // environment without a lock (libcurl's proxy lookup, the resolver), and
    // setenv may free the array they are reading: it is changed only while no
    // worker runs, and put back after the last one ended.
    void SetEnv(const char* szName, const std::string& strValue)
    {
        EXPECT_TRUE(CWorkerThreads::WaitAll(std::chrono::seconds(20)));
        m_env.push_back(std::make_unique<CScopedEnv>(szName, strValue));
    }

    // A window's document, as the browser would address it.
    static CHtmlDocument& Doc(CWnd& wnd) { return *wnd.GetHtmlDocument(); }
    static unsigned Uid(CWnd& wnd, const char* szId)
    {
        return wnd.GetHtmlDocument()->GetRoot().FindById(szId).GetUid();
    }
    // Runs the action inside the next modal loop.
    void InModal(std::function<void()> action) { loop.PostTask(std::move(action)); }
    // Runs what was posted so far.
    void Drain()
    {
        bool bDone = false;
        loop.PostTask([&bDone] { bDone = true; });
        loop.RunUntil([&bDone] { return bDone; });
    }

    // First, so it is put back last, after the windows and the loop.
    std::vector<std::unique_ptr<CScopedEnv>> m_env;
    CTestContext context;
    CMessageLoop loop;
    CWindowManager manager{loop};
};

inline void Click(CHtmlDocument& doc, unsigned nUid)
{
    doc.RaiseMouse(nUid, MOUSE_DOWN, MAIN_MOUSE_BUTTON, 1, 1);
    doc.RaiseMouse(nUid, MOUSE_UP, MAIN_MOUSE_BUTTON, 1, 1);
}

inline void Click(CWnd& wnd, const CElement& element)
{
    Click(*wnd.GetHtmlDocument(), element.GetUid());
}
