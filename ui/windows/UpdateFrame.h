#pragma once

#include "ShadowHost.h"

class CWnd;

// What the update's controller needs of the main window: the window its
// dialogs show over (dimmed meanwhile) and whose timers it runs, whether the
// user has it in front, the status bar's refresh, the reload of the content
// and the wait cursor.
class IUpdateFrame : public IShadowHost
{
public:
    virtual CWnd& GetFrameWnd() = 0;
    // In front of the user: shown, not in the tray, and the active window.
    virtual bool IsForeground() const = 0;
    virtual void OnUpdateStatus() = 0;
    // Every window lets go of the old content, the data is read again, home shows.
    virtual void ReloadContent() = 0;
    virtual void SetWaitCursor(bool bWait) = 0;
    // The client quits once what runs now has ended (the stop message).
    virtual void PostStop() = 0;
};
