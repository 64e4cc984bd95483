#include "SystemTray.h"
#include "ElementBehaviors.h"
#include "FakeDesktop.h"
#include "MainWindow.h"
#include "TestSupport.h"
#include "UiTestContext.h"
#include "WindowManager.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{
using namespace std::chrono_literals;

// The application's side of the tray, as the client wires it: tray mode shows
// the icon, leaving it takes the icon away and shows the window.
class CTrayContext : public CTestContext
{
public:
    explicit CTrayContext(CMessageLoop& loop) : m_tray(loop) { m_tray.Create(); }
    void SetTrayMode(bool bTrayMode) override
    {
        m_bTray = bTrayMode;
        bTrayMode ? m_tray.ShowIcon() : m_tray.HideIcon();
    }
    void ShowMainWindowFromTray() override
    {
        SetTrayMode(false);
        if (m_pMain)
            m_pMain->ShowWindow(SW_SHOWMAXIMIZED);
    }
    bool HasTrayHost() const override { return m_tray.HasHost(); }

    CSystemTray m_tray;
    CWnd* m_pMain = nullptr;
};

// A client's loop, windows and main window on the test's thread.
struct CClient
{
    CClient() : manager(loop), context(loop), main(context, nullptr)
    {
        CElementBehaviors::RegisterStandard();
        loop.BindToCurrentThread();
        loop.SetTimer(20s, [this] {
            ADD_FAILURE() << "the loop waited too long";
            loop.Quit(1);
        });
        if (!main.Create())
            ADD_FAILURE() << "no main window";
        manager.SetMainWindow(&main);
        context.m_pMain = &main;
        context.m_tray.SetOwner(&main);
        main.ShowWindow(SW_SHOWMAXIMIZED);
    }
    // Dispatches what the tray posted until the condition holds.
    bool RunUntil(const std::function<bool()>& done) { return loop.RunUntil(done) || done(); }

    CMessageLoop loop;
    CWindowManager manager;
    CTrayContext context;
    CMainWindow main;
};

bool WaitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000 && !done(); ++i)
        std::this_thread::sleep_for(10ms);
    return done();
}
} // namespace

TEST(SystemTray, EveryEntryOfTheTrayMenuAndAClickOnTheIconReachTheMainWindow)
{
    CPrivateSessionBus bus;
    KALIMOR_SKIP_WITHOUT_BUS(bus);
    CScopedEnv address("DBUS_SESSION_BUS_ADDRESS", bus.GetAddress());
    CFakeDesktop desktop(bus.GetAddress(), {});
    ASSERT_TRUE(desktop.IsReady());
    CLogCapture log;
    CClient client;
    ASSERT_TRUE(WaitUntil([&] { return client.context.HasTrayHost(); }));

    const auto closeIntoTray = [&] {
        client.main.SendMessage(WM_CLOSE);
        ASSERT_TRUE(client.context.IsTrayMode());
        ASSERT_FALSE(client.main.IsWindowVisible());
        ASSERT_TRUE(desktop.WaitForItems(1)) << "the icon is shown in tray mode";
    };
    closeIntoTray();
    ASSERT_TRUE(desktop.ClickMenu(ID_APP_SHOW));
    EXPECT_TRUE(client.RunUntil([&] { return client.main.IsWindowVisible(); })) << "Открыть";
    EXPECT_FALSE(client.context.IsTrayMode());
    EXPECT_TRUE(desktop.WaitForItems(0)) << "the icon goes with tray mode";

    closeIntoTray();
    ASSERT_TRUE(desktop.ClickMenu(ID_APP_UPDATE));
    EXPECT_TRUE(client.RunUntil([&] { return log.Contains("CMainWindow::OnAppUpdate silent"); }))
        << "Обновить, silent in tray mode";
    ASSERT_TRUE(desktop.Activate());
    EXPECT_TRUE(client.RunUntil([&] { return client.main.IsWindowVisible(); }))
        << "a click on the icon opens";

    EXPECT_TRUE(desktop.WaitForItems(0));

    closeIntoTray();
    ASSERT_TRUE(desktop.ClickMenu(ID_APP_EXIT));
    client.RunUntil([&] { return !client.main.IsWindow(); });
    EXPECT_FALSE(client.main.IsWindow());
    EXPECT_TRUE(client.loop.IsQuitting());
}

TEST(SystemTray, WithoutATrayHostClosingTheWindowEndsTheClient)
{
    CPrivateSessionBus bus;
    KALIMOR_SKIP_WITHOUT_BUS(bus);
    struct CCase
    {
        const char* m_szName;
        bool m_bBus;
        CFakeDesktop::COptions m_options;
    };
    for (const CCase& c :
         std::vector<CCase>{{"no session bus", false, {}},
                            {"no watcher", true, {false, false, true}},
                            {"a watcher without a host", true, {true, false, true}}})
    {
        SCOPED_TRACE(c.m_szName);
        CScopedEnv address("DBUS_SESSION_BUS_ADDRESS",
                           c.m_bBus ? bus.GetAddress() : "unix:path=/nonexistent/bus");
        CFakeDesktop desktop(bus.GetAddress(), c.m_options);
        CClient client;
        std::this_thread::sleep_for(500ms); // what the bus has to say has come
        ASSERT_FALSE(client.context.HasTrayHost());
        client.main.SendMessage(WM_CLOSE);
        EXPECT_FALSE(client.main.IsWindow()) << "no invisible client is left behind";
        EXPECT_TRUE(client.loop.IsQuitting());
        EXPECT_TRUE(desktop.GetItems().empty());
    }
}
