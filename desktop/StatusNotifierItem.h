#pragma once

#include "DBusMenu.h"
#include "DesktopThread.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

// What the tray shows: the application's id, title, tooltip, icon (a name in
// the icon theme, looked up first in the theme folder when one is given) and
// the menu.
struct CTrayItemInfo
{
    std::string m_strId;
    std::string m_strTitle;
    std::string m_strToolTip;
    std::string m_strIconName;
    std::string m_strIconThemePath;
    std::vector<CMenuEntry> m_menu;
};

// A tray icon on a freedesktop.org desktop: an org.kde.StatusNotifierItem on
// the session bus with its menu over com.canonical.dbusmenu, registered with
// the org.kde.StatusNotifierWatcher that the desktop's panel provides. It runs
// on a thread of its own, with a connection of its own; showing the icon owns
// a bus name of the item's and registers it, removing it gives the name up,
// which takes the icon off every host. The watcher is followed as it comes and
// goes (a panel that restarts gets the icon back).
class CStatusNotifierItem
{
public:
    // Both are called on the item's thread.
    using ActivateFn = std::function<void()>;

    CStatusNotifierItem(CTrayItemInfo info, ActivateFn onActivate, CDBusMenu::ClickFn onMenu);
    ~CStatusNotifierItem();
    CStatusNotifierItem(const CStatusNotifierItem&) = delete;
    CStatusNotifierItem& operator=(const CStatusNotifierItem&) = delete;

    // Connects to the session bus and starts following the watcher. Returns
    // at once; without a session bus the item stays without a host.
    void Start();
    // Shows the icon (as soon as there is a host) or removes it.
    void SetVisible(bool bVisible);
    // A watcher is on the bus and says a host shows its items.
    bool IsHostAvailable() const { return m_bWatcherPresent && m_bHostRegistered; }
    // The watcher has taken the icon.
    bool IsRegistered() const { return m_bRegistered; }

    // Used by the bus callbacks (on the item's thread).
    void HandleItemCall(const gchar* szMethod, GDBusMethodInvocation* pInvocation);
    GVariant* GetItemProperty(const gchar* szProperty) const;
    void OnWatcherAppeared();
    void OnWatcherVanished();
    void OnWatcherSignal(const gchar* szSignal);
    void OnHostProperty(GVariant* pValue);
    void OnNameAcquired();
    void OnNameLost();
    void OnRegistered(bool bDone);
    GCancellable* GetCancellable() const { return m_pCancellable.get(); }

private:
    void Connect();
    void Disconnect();
    void UpdateVisibility();
    void Register();
    void AskHostRegistered();

    const CTrayItemInfo m_info;
    ActivateFn m_onActivate;
    CDBusMenu m_menu;
    GObjectPtr<GCancellable> m_pCancellable;
    // On the item's thread only.
    GObjectPtr<GDBusConnection> m_pConnection;
    unsigned m_nItemObject = 0;
    unsigned m_nWatch = 0;
    unsigned m_nSignals = 0;
    unsigned m_nOwner = 0;
    unsigned m_nNameSerial = 0;
    std::string m_strBusName;
    bool m_bNameOwned = false;
    bool m_bWantVisible = false;
    // Read from any thread.
    std::atomic<bool> m_bWatcherPresent{false};
    std::atomic<bool> m_bHostRegistered{false};
    std::atomic<bool> m_bRegistered{false};
    // Last, so it stops first: nothing runs on it once the members go.
    CDesktopThread m_thread;
};
