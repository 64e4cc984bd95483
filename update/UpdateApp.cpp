#include "UpdateApp.h"

#include "Logger.h"
#include "RegistryConfig.h"
#include "UpdateFlow.h"

#include <ctime>

void UpdateAppAfterUpdateData(int nCode, int nPreviousContentVersion, CRegistryConfig& config,
                              IUpdateAppHost& host)
{
    KTRACE("CKalimorClntApp::UpdateAppAfterUpdateData");
    // Reloading a large library takes a moment: the user sees it is working.
    struct CWaitCursor
    {
        IUpdateAppHost& m_host;
        explicit CWaitCursor(IUpdateAppHost& host) : m_host(host) { m_host.SetWaitCursor(true); }
        ~CWaitCursor() { m_host.SetWaitCursor(false); }
        CWaitCursor(const CWaitCursor&) = delete;
        CWaitCursor& operator=(const CWaitCursor&) = delete;
    } wait(host);
    if (nCode == UPDATE_END_TRAY_QUIT)
        host.QuitApplication();
    if (nCode == UPDATE_END_DONE || nCode == UPDATE_END_NOTHING_NEW)
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        config.SetLastUpdateDate(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
        config.SaveSettings();
    }
    const int nVersion = config.GetContentVersion();
    if (nVersion == nPreviousContentVersion && nVersion != 0)
        host.RefreshMainWindow();
    else
        host.ReloadData();
}
