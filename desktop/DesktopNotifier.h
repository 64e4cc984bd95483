#pragma once

#include "DesktopThread.h"
#include "UpdateNotifier.h"

#include <libnotify/notify.h>

#include <string>

// Notifications through the desktop's notification server
// (org.freedesktop.Notifications, by libnotify). One bubble per update: its
// start is replaced by its end. libnotify calls the server synchronously, so
// every call runs on a thread of its own and the caller never waits; without
// a server the texts go only to the log.
class CDesktopNotifier : public IUpdateNotifier
{
public:
    // The application's name and desktop id, and its icon (a theme name or a
    // file).
    CDesktopNotifier(std::string strAppName, std::string strDesktopId, std::string strIcon);
    ~CDesktopNotifier() override;
    CDesktopNotifier(const CDesktopNotifier&) = delete;
    CDesktopNotifier& operator=(const CDesktopNotifier&) = delete;

    void ShowUpdateStarted() override;
    void ShowUpdateFinished(bool bInstalled) override;
    void ShowUpdateFailed(std::string_view message) override;

    // Waits until what was asked so far has reached the server (tests).
    void Flush();

private:
    void Show(std::string strBody, NotifyUrgency urgency);

    const std::string m_strAppName;
    const std::string m_strDesktopId;
    const std::string m_strIcon;
    // On the notifier's thread only.
    GObjectPtr<NotifyNotification> m_pNotification;
    bool m_bInitialised = false;
    // Last, so it stops first.
    CDesktopThread m_thread;
};
