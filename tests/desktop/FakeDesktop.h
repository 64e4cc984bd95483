#pragma once

#include "DesktopThread.h"
#include "GObjectPtr.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// A session bus of the test's own: dbus-daemon with a configuration that
// allows everything and activates nothing, on a socket in a temporary
// folder. Stopped with the object. Where dbus-daemon cannot start, IsRunning
// is false and GetProblem says why.
class CPrivateSessionBus
{
public:
    CPrivateSessionBus();
    ~CPrivateSessionBus();
    CPrivateSessionBus(const CPrivateSessionBus&) = delete;
    CPrivateSessionBus& operator=(const CPrivateSessionBus&) = delete;

    bool IsRunning() const { return !m_strAddress.empty(); }
    const std::string& GetAddress() const { return m_strAddress; }
    const std::string& GetProblem() const { return m_strProblem; }

private:
    std::string m_strFolder;
    std::string m_strAddress;
    std::string m_strProblem;
    pid_t m_pid = -1;
};

// One notification the fake server received.
struct CReceivedNotification
{
    unsigned m_nId = 0;
    unsigned m_nReplacesId = 0;
    std::string m_strAppName;
    std::string m_strIcon;
    std::string m_strSummary;
    std::string m_strBody;
    std::string m_strDesktopEntry; // the "desktop-entry" hint
    int m_nUrgency = -1;           // the "urgency" hint, -1 when not given
};

// What a desktop offers a tray application, played on a bus: the panel's
// org.kde.StatusNotifierWatcher (with or without a host that shows items) and
// a notification server. It records what it is told and lets the test act as
// the user would on the panel: click the icon, choose from its menu.
class CFakeDesktop
{
public:
    struct COptions
    {
        bool m_bWatcher = true;
        bool m_bHost = true; // the watcher says a host shows the items
        bool m_bNotifications = true;
    };

    CFakeDesktop(const std::string& strAddress, COptions options);
    ~CFakeDesktop();
    CFakeDesktop(const CFakeDesktop&) = delete;
    CFakeDesktop& operator=(const CFakeDesktop&) = delete;

    bool IsReady() const { return m_bReady; }

    // The bus names of the items registered and still on the bus.
    std::vector<std::string> GetItems() const;
    // Waits until exactly n items are registered; false on timeout.
    bool WaitForItems(std::size_t n,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    std::vector<CReceivedNotification> GetNotifications() const;
    bool WaitForNotifications(std::size_t n,
                              std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Calls on the first registered item (its object or its menu); the reply,
    // or null with the error's text in strError.
    GVariantPtr CallItem(const char* szMethod, GVariant* pParameters,
                         std::string* pError = nullptr) const;
    GVariantPtr CallMenu(const char* szMethod, GVariant* pParameters,
                         std::string* pError = nullptr) const;
    GVariantPtr GetItemProperty(const char* szProperty) const;
    // The user on the panel: a click on the icon, a menu entry chosen.
    bool Activate() const;
    bool ClickMenu(int nId) const;

    // Used by the bus callbacks.
    void HandleWatcherCall(const gchar* szSender, const gchar* szMethod, GVariant* pParameters,
                           GDBusMethodInvocation* pInvocation);
    GVariant* GetWatcherProperty(const gchar* szProperty) const;
    void HandleNotificationsCall(const gchar* szMethod, GVariant* pParameters,
                                 GDBusMethodInvocation* pInvocation);
    void OnNameOwnerChanged(const gchar* szName, const gchar* szNewOwner);
    void OnNameAcquired();

private:
    void Connect(const std::string& strAddress);
    void Disconnect();
    GVariantPtr Call(const char* szPath, const char* szInterface, const char* szMethod,
                     GVariant* pParameters, std::string* pError) const;

    const COptions m_options;
    GObjectPtr<GDBusConnection> m_pConnection;
    std::vector<unsigned> m_objects;
    std::vector<unsigned> m_owners;
    unsigned m_nNameWatch = 0;
    int m_nNamesWanted = 0;
    bool m_bReady = false;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_items;
    std::vector<CReceivedNotification> m_notifications;
    unsigned m_nNextNotification = 1;

    CDesktopThread m_thread;
};

// Tests on a private bus of their own, which the client side finds through
// DBUS_SESSION_BUS_ADDRESS; skipped when no bus can start.
struct CPrivateBusFixture : ::testing::Test
{
    void SetUp() override;

    CPrivateSessionBus bus;
    std::unique_ptr<CScopedEnv> env;
};

// Skips the calling test when there is no bus to run it on.
#define KALIMOR_SKIP_WITHOUT_BUS(bus)                                                              \
    if (!(bus).IsRunning())                                                                        \
    GTEST_SKIP() << "skipped: no private session bus (" << (bus).GetProblem() << ")"
