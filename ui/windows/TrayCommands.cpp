#include "TrayCommands.h"

#include "ClientContext.h"
#include "Logger.h"
#include "UpdateController.h"
#include "Wnd.h"

namespace
{
CClientContext* Context()
{
    return CClientContext::Get();
}
} // namespace

void CTrayCommands::ShowFromTray()
{
    if (CClientContext* pContext = Context())
        pContext->ShowMainWindowFromTray();
    else
        m_frame.ShowWindow(SW_SHOWMAXIMIZED);
    // A silent update comes into view with the window.
    m_updates.ShowDialog();
}

void CTrayCommands::OnCommand(unsigned nCommand)
{
    switch (nCommand)
    {
    case ID_APP_SHOW: ShowFromTray(); break;
    case ID_APP_UPDATE: m_updates.OnAppUpdate(Context() && Context()->IsTrayMode()); break;
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
    CClientContext* pContext = Context();
    // With no tray to come back through, a hidden client would be lost.
    if (pContext && !pContext->HasTrayHost())
    {
        KLOG_NOTICE << "CMainWindow::OnClose no tray host: the client ends";
        Quit();
        return;
    }
    if (pContext && !pContext->IsTrayMode())
    {
        pContext->SetTrayMode(true);
        m_frame.ShowWindow(SW_HIDE);
        return;
    }
    EndOrCancelUpdate();
}
