#include "RunningClient.h"

#include "FileUtils.h"
#include "Logger.h"
#include "MainWindowMessages.h"
#include "ResourceConfig.h"
#include "SingleInstance.h"
#include "StringTable.h"

#include <cstdio>
#include <thread>

#include <unistd.h>

namespace
{
// The client of this user, through its lock and socket.
class CSystemProcesses : public IClientProcesses
{
public:
    bool IsOtherRunning() override { return m_instance.IsHeldByOther(); }
    bool SendToRunning(unsigned nMessage) override { return m_instance.SendToRunning(nMessage); }
    void Pause(std::chrono::milliseconds duration) override
    {
        std::this_thread::sleep_for(duration);
    }
    std::string GetSelfPath() override
    {
        char szSelf[4096] = {};
        const ssize_t nLength = ::readlink("/proc/self/exe", szSelf, sizeof(szSelf) - 1);
        return nLength > 0 ? std::string(szSelf, static_cast<std::size_t>(nLength)) : std::string();
    }
    std::string GetInstalledPath() override
    {
        return CResourceConfig::GetExecutableFolder() + "/" + "KalimorClnt";
    }
    bool CopyFile(const std::string& strSource, const std::string& strTarget) override
    {
        return CFileUtils::CopyFile(strSource, strTarget);
    }

private:
    CSingleInstance m_instance{kKalimorMutexName};
};
} // namespace

void CRunningClient::OpenFromTray()
{
    if (!m_processes.SendToRunning(WM_OPEN_FROM_TRAY))
        KLOG_ERR << "There is no another window";
}

bool CRunningClient::Stop()
{
    for (int nAttempt = 0; nAttempt < kStopAttempts; ++nAttempt)
    {
        if (!m_processes.IsOtherRunning())
            return true;
        m_processes.SendToRunning(WM_STOP_KALIMOR);
        m_processes.Pause(kPause);
    }
    if (!m_processes.IsOtherRunning())
        return true;
    KLOG_ERR << "CRunningClient::Stop the running client did not end";
    return false;
}

bool CRunningClient::StopAndReplace()
{
    Stop();
    const std::string strOwn = m_processes.GetInstalledPath();
    const std::string strSelf = m_processes.GetSelfPath();
    if (strSelf.empty() || strSelf == strOwn)
        return false;
    for (int nAttempt = 0; nAttempt < kCopyAttempts; ++nAttempt)
    {
        if (nAttempt > 0)
            m_processes.Pause(kPause);
        if (m_processes.CopyFile(strSelf, strOwn))
            return true;
    }
    KLOG_ERR << CStringTable::Get(IDS_INSTALL_ERROR);
    std::fprintf(stderr, "%s\n", std::string(CStringTable::Get(IDS_INSTALL_ERROR)).c_str());
    return false;
}

void CRunningClient::OpenSystemClientFromTray()
{
    CSystemProcesses processes;
    CRunningClient(processes).OpenFromTray();
}

bool CRunningClient::StopSystemClient()
{
    CSystemProcesses processes;
    return CRunningClient(processes).Stop();
}

bool CRunningClient::StopAndReplaceSystemClient()
{
    CSystemProcesses processes;
    return CRunningClient(processes).StopAndReplace();
}
