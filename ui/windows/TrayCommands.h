#pragma once

class CClientContext;
class CUpdateController;
class CWnd;

// The main window's ways into the tray, out of it and out of the client: the
// tray menu's commands, the close button (the window goes into the tray while
// there is a tray to come back through) and the stop, which lets a running
// update end first.
class CTrayCommands
{
public:
    CTrayCommands(CClientContext& context, CWnd& frame, CUpdateController& updates)
        : m_context(context),
          m_frame(frame),
          m_updates(updates)
    {
    }

    // The window comes back from the tray, and a silent update with it.
    void ShowFromTray();
    // The tray menu's and the top panel's commands.
    void OnCommand(unsigned nCommand);
    // The client ends; a running update is cancelled first.
    void Quit();
    // The window's close button.
    void Close();

private:
    // A running update is cancelled (the end comes back once its dialog has
    // ended); otherwise the window goes, and the client with it.
    void EndOrCancelUpdate();

    CClientContext& m_context;
    CWnd& m_frame;
    CUpdateController& m_updates;
};
