#include "UpdateTestSupport.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <minizip/zip.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

CTestUiLoop::CTestUiLoop() : m_thread([this] { Run(); }) {}

CTestUiLoop::~CTestUiLoop()
{
    Stop();
}

void CTestUiLoop::Run()
{
    for (;;)
    {
        CTask task;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_bStopped || !m_tasks.empty(); });
            if (m_bStopped)
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task.m_fn();
        if (task.m_pDone)
        {
            std::lock_guard lock(m_mutex);
            *task.m_pDone = true;
            m_changed.notify_all();
        }
    }
}

bool CTestUiLoop::Send(std::function<void()> fn)
{
    if (IsLoopThread())
    {
        fn();
        return true;
    }
    bool bDone = false;
    std::unique_lock lock(m_mutex);
    if (m_bStopped)
        return false;
    m_tasks.push_back({std::move(fn), &bDone});
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return bDone || m_bStopped; });
    return bDone;
}

void CTestUiLoop::Post(std::function<void()> fn)
{
    std::lock_guard lock(m_mutex);
    if (m_bStopped)
        return;
    m_tasks.push_back({std::move(fn), nullptr});
    m_changed.notify_all();
}

void CTestUiLoop::Stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_bStopped = true;
        m_tasks.clear();
        m_changed.notify_all();
    }
    if (m_thread.joinable() && !IsLoopThread())
        m_thread.join();
}

void CTestUpdateView::Note()
{
    if (!m_loop.IsLoopThread())
        m_bAllOnLoop = false;
    m_changed.notify_all();
}

void CTestUpdateView::ShowState(const CUpdateViewState& state)
{
    std::lock_guard lock(m_mutex);
    m_states.push_back(state);
    Note();
}

void CTestUpdateView::ShowProgress(int nValue)
{
    std::lock_guard lock(m_mutex);
    m_progress.emplace_back(m_states.empty() ? -1 : m_states.back().m_nState, nValue);
    Note();
}

std::string CTestUpdateView::AskInstallerPath(const std::string& strDefaultName)
{
    std::lock_guard lock(m_mutex);
    m_strDefaultName = strDefaultName;
    Note();
    return m_strInstallerAnswer;
}

bool CTestUpdateView::OpenUrl(const std::string& strUrl)
{
    std::lock_guard lock(m_mutex);
    m_urls.push_back(strUrl);
    Note();
    return m_bOpenUrlResult;
}

void CTestUpdateView::ShowMessage(std::string_view text)
{
    std::lock_guard lock(m_mutex);
    m_messages.emplace_back(text);
    Note();
}

void CTestUpdateView::EndDialog(int nCode)
{
    std::lock_guard lock(m_mutex);
    m_nEndCode = nCode;
    Note();
}

bool CTestUpdateView::WaitForState(int nState, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(
        lock, timeout, [&] { return !m_states.empty() && m_states.back().m_nState == nState; });
}

std::optional<int> CTestUpdateView::WaitForEnd(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, timeout, [&] { return m_nEndCode.has_value(); });
    return m_nEndCode;
}

bool CTestUpdateView::WaitForProgress(int nValue, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(
        lock, timeout, [&] { return !m_progress.empty() && m_progress.back().second >= nValue; });
}

std::vector<CUpdateViewState> CTestUpdateView::States() const
{
    std::lock_guard lock(m_mutex);
    return m_states;
}

std::vector<int> CTestUpdateView::StateNumbers() const
{
    std::vector<int> numbers;
    for (const auto& state : States())
        numbers.push_back(state.m_nState);
    return numbers;
}

std::optional<CUpdateViewState> CTestUpdateView::LastState() const
{
    std::lock_guard lock(m_mutex);
    if (m_states.empty())
        return std::nullopt;
    return m_states.back();
}

std::vector<std::pair<int, int>> CTestUpdateView::Progress() const
{
    std::lock_guard lock(m_mutex);
    return m_progress;
}

std::vector<std::string> CTestUpdateView::Messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<std::string> CTestUpdateView::OpenedUrls() const
{
    std::lock_guard lock(m_mutex);
    return m_urls;
}

std::string CTestUpdateView::DefaultInstallerName() const
{
    std::lock_guard lock(m_mutex);
    return m_strDefaultName;
}

void CZipBuilder::Add(std::string strName, std::string data, bool bUtf8Name)
{
    m_entries.push_back({std::move(strName), std::move(data), bUtf8Name, 0100644});
}

void CZipBuilder::AddSymlink(std::string strName, std::string target)
{
    m_entries.push_back({std::move(strName), std::move(target), true, 0120777});
}

bool CZipBuilder::Write(const std::string& strPath) const
{
    zipFile zip = zipOpen64(strPath.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool bOk = true;
    for (const auto& entry : m_entries)
    {
        zip_fileinfo info{};
        info.external_fa = static_cast<uLong>(entry.m_nMode) << 16;
        bOk = bOk && zipOpenNewFileInZip4_64(zip, entry.m_strName.c_str(), &info, nullptr, 0,
                                             nullptr, 0, nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION,
                                             0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                             nullptr, 0, (3 << 8) | 20, entry.m_bUtf8 ? 0x800 : 0,
                                             entry.m_data.size() > 0xFFFFFFFFULL) == ZIP_OK;
        bOk = bOk && zipWriteInFileInZip(zip, entry.m_data.data(),
                                         static_cast<unsigned>(entry.m_data.size())) == ZIP_OK;
        bOk = bOk && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && bOk;
}

std::string CZipBuilder::Bytes() const
{
    CTempDir dir;
    const std::string strPath = dir.File("package.zip");
    return Write(strPath) ? ReadFileText(strPath) : std::string();
}

unsigned FreeLoopbackPort()
{
    const int nSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof(address);
    unsigned nPort = 0;
    if (::bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(nSocket, reinterpret_cast<sockaddr*>(&address), &nLength) == 0)
        nPort = ntohs(address.sin_port);
    ::close(nSocket);
    return nPort;
}

CRequestSettings FastSettings(const std::string& strHost, unsigned nPort)
{
    CRequestSettings settings;
    settings.m_service.m_strUpdateHost = settings.m_service.m_strWebHost = strHost;
    settings.m_service.m_nUpdatePort = settings.m_service.m_nWebPort = nPort;
    settings.m_http.m_nProxyType = PROXY_DIRECT;
    settings.m_http.m_idleInterval = 5ms;
    settings.m_http.m_connectTimeout = 5s;
    settings.m_http.m_stallTimeout = 2s;
    settings.m_saltRetryPause = 100ms;
    settings.m_finishPause = 20ms;
    settings.m_clientNoticeDelay = 20ms;
    return settings;
}

CTinyProxy::CTinyProxy(const std::string& strUser, const std::string& strPassword)
{
    const std::string strProgram = "/usr/bin/tinyproxy";
    if (::access(strProgram.c_str(), X_OK) != 0)
        return;
    char szTemplate[] = "/tmp/kalimor-proxy-XXXXXX";
    if (!::mkdtemp(szTemplate))
        return;
    m_strFolder = szTemplate;
    for (int nAttempt = 0; nAttempt < 5 && m_pid <= 0; ++nAttempt)
    {
        m_nPort = FreeLoopbackPort();
        const std::string strConfig = m_strFolder + "/tinyproxy.conf";
        std::ofstream(strConfig) << "Port " << m_nPort
                                 << "\nListen 127.0.0.1\nTimeout 20\nMaxClients 20\n"
                                 << "Allow 127.0.0.1\nBasicAuth " << strUser << " " << strPassword
                                 << "\nLogLevel Error\nLogFile \"" << m_strFolder
                                 << "/tinyproxy.log\"\n";
        std::vector<std::string> args = {strProgram, "-d", "-c", strConfig};
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (pid <= 0)
            break;
        // Ready once it accepts a connection; gone when the port was taken.
        for (int n = 0; n < 100; ++n)
        {
            int nStatus = 0;
            if (::waitpid(pid, &nStatus, WNOHANG) == pid)
            {
                pid = -1;
                break;
            }
            const int nSocket = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(static_cast<std::uint16_t>(m_nPort));
            const bool bConnected =
                ::connect(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
            ::close(nSocket);
            if (bConnected)
            {
                m_pid = pid;
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        if (m_pid <= 0 && pid > 0)
        {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
}

CTinyProxy::~CTinyProxy()
{
    if (m_pid > 0)
    {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_strFolder.empty())
    {
        std::error_code error;
        std::filesystem::remove_all(m_strFolder, error);
    }
}
