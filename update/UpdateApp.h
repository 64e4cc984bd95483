#pragma once

class CRegistryConfig;

// What the application does for the update flow once the dialog has ended;
// the main window and the application object implement it.
class IUpdateAppHost
{
public:
    virtual ~IUpdateAppHost() = default;
    // Closes the main window: the application quits.
    virtual void QuitApplication() = 0;
    // Repaints the main window; the content did not change.
    virtual void RefreshMainWindow() = 0;
    // FreeData, LoadData and a rebuild of the main window's views, on the UI thread.
    virtual void ReloadData() = 0;
    // The wait cursor over the main window while the application catches up.
    virtual void SetWaitCursor(bool bWait) = 0;
};

// The application's part after an update dialog ended with nCode: quit after a
// cancel from the tray, record the date of a completed update, and reload the
// content when its version changed (or none was installed).
void UpdateAppAfterUpdateData(int nCode, int nPreviousContentVersion, CRegistryConfig& config,
                              IUpdateAppHost& host);
