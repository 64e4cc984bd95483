#pragma once

#include "MessageLoop.h"
#include "StatusNotifierItem.h"
#include "Wnd.h"

#include <atomic>
#include <memory>
#include <string>

// The client's tray icon: the application icon with the tooltip of string
// 191 and the menu "Открыть", "Обновить", "Выход". A click on the icon opens
// (the menu's default). Whatever the user chooses reaches the owner window as
// a WM_COMMAND posted through the message loop, on the UI thread.
class CSystemTray
{
public:
    explicit CSystemTray(CMessageLoop& loop);
    ~CSystemTray();
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    void SetOwner(const CWnd* pOwner) { m_nOwner = pOwner ? pOwner->GetSafeHwnd() : 0; }
    // Starts following the desktop's tray (the session bus) in the background.
    void Create();
    void ShowIcon();
    void HideIcon();
    // A tray host is there to show the icon, so a hidden client can be found.
    bool HasHost() const { return m_pItem && m_pItem->IsHostAvailable(); }
    bool IsIconShown() const { return m_pItem && m_pItem->IsRegistered(); }

    // The folder of the icon theme that holds the application icon beside the
    // program (PREFIX/share/icons for PREFIX/bin), or empty.
    static std::string FindIconThemePath();
    // The application icon for notifications: its file there, else its name.
    static std::string FindAppIcon();

private:
    void PostCommand(unsigned nCommand);

    CMessageLoop& m_loop;
    std::atomic<int> m_nOwner{0};
    std::unique_ptr<CStatusNotifierItem> m_pItem;
};
