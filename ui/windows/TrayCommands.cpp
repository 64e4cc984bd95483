#include "TrayCommands.h"

#include "ClientContext.h"
#include "Logger.h"
#include "UpdateController.h"
#include "Wnd.h"

void CTrayCommands::ShowFromTray()
{
    m_context.ShowMainWindowFromTray();
    // A silent update comes into view with the window.
    m_updates.ShowDialog();
}

void CTrayCommands::OnCommand(unsigned nCommand)
{
    switch (nCommand)
    {
    case ID_APP_SHOW: ShowFromTray(); break;
    case ID_APP_UPDATE: m_updates.OnAppUpdate(m_context.IsTrayMode()); break;
    // Exit means exit, wherever the window is: as the stop message.
    case ID_APP_EXIT: Quit(); break;
    default: KLOG_WARN << "CMainWindow::OnCommand unknown command " << nCommand; break;
    }
}

void CTrayCommands::Quit()
{
    KTRACE("CMainWindow::OnCloseExistedKalimor");
    EndOrCancelUpdate();
}

void CTrayCommands::EndOrCancelUpdate()
{
    if (m_updates.IsRunning())
    {
        // The update stops first (its partial download is removed).
        m_updates.CancelFromTray();
        return;
    }
    m_frame.DestroyWindow();
}

void CTrayCommands::Close()
{
    KTRACE("CMainWindow::OnClose");
    // With no tray to come back through, a hidden client would be lost.
    if (!m_context.HasTrayHost())
    {
        KLOG_NOTICE << "CMainWindow::OnClose no tray host: the client ends";
        Quit();
        return;
    }
    if (!m_context.IsTrayMode())
    {
        m_context.SetTrayMode(true);
        m_frame.ShowWindow(SW_HIDE);
        return;
    }
    EndOrCancelUpdate();
}
