#include "DesktopNotifier.h"
#include "FakeDesktop.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

// Each test runs in a process of its own (CTest), as libnotify keeps its
// connection to the first bus it met.
using CNotifierFixture = CPrivateBusFixture;

TEST_F(CNotifierFixture, AnUpdateInTheTrayIsOneBubbleFromItsStartToItsEnd)
{
    CFakeDesktop desktop(bus.GetAddress(), {});
    ASSERT_TRUE(desktop.IsReady());
    CDesktopNotifier notifier("Калимор", "test.kalimor.Tray", "/usr/share/icons/kalimor.png");
    notifier.ShowUpdateStarted();
    notifier.ShowUpdateFinished(true);
    notifier.ShowUpdateFinished(false);
    notifier.ShowUpdateFailed("Невозможно подключиться к серверу");
    notifier.ShowUpdateFailed("");
    notifier.Flush();
    ASSERT_TRUE(desktop.WaitForNotifications(5));

    const std::vector<CReceivedNotification> notes = desktop.GetNotifications();
    ASSERT_EQ(notes.size(), 5u);
    struct CExpected
    {
        const char* m_szBody;
        int m_nUrgency;
    };
    const std::vector<CExpected> expected{
        {"Обновление...", 0},
        {"Обновления загружены", 1},
        {"Ваша версия калимора актуальна", 1},
        {"Невозможно подключиться к серверу", 1},
        {"Обновление не выполнено", 1},
    };
    for (std::size_t i = 0; i < notes.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(notes[i].m_strBody, expected[i].m_szBody);
        EXPECT_EQ(notes[i].m_nUrgency, expected[i].m_nUrgency);
        EXPECT_EQ(notes[i].m_strSummary, "Калимор");
        EXPECT_EQ(notes[i].m_strAppName, "Калимор");
        EXPECT_EQ(notes[i].m_strIcon, "/usr/share/icons/kalimor.png");
        EXPECT_EQ(notes[i].m_strDesktopEntry, "test.kalimor.Tray")
            << "the server knows whose it is";
        // The first makes the bubble, the others replace it.
        EXPECT_EQ(notes[i].m_nReplacesId, i == 0 ? 0u : notes[0].m_nId);
    }
}

TEST_F(CNotifierFixture, WithoutANotificationServerTheUpdateGoesOnAndTheLogSaysSo)
{
    CFakeDesktop desktop(bus.GetAddress(), {true, true, false});
    ASSERT_TRUE(desktop.IsReady());
    CLogCapture log;
    CDesktopNotifier notifier("Калимор", "test.kalimor.Tray", "kalimor");
    notifier.ShowUpdateStarted();
    notifier.Flush();
    EXPECT_TRUE(log.Contains("CDesktopNotifier: Обновление..."));
    EXPECT_TRUE(log.Contains("CDesktopNotifier can't show a notification"));
    EXPECT_TRUE(desktop.GetNotifications().empty());
}
