#pragma once

#include "Wnd.h"

// Private messages of the main window.
enum EMainWindowMessage : unsigned
{
    WM_TRAY_NOTIFY = WM_USER + 100,      // 1124
    WM_OPEN_FROM_TRAY = WM_USER + 101,   // 1125
    WM_STOP_KALIMOR = WM_USER + 103,     // 1127
    WM_NEW_CLIENT_URL = WM_USER + 104,   // 1128, lParam: a std::string* the window takes over
    WM_SCHEDULED_UPDATE = WM_USER + 105, // the update the client runs by itself in the tray
};
