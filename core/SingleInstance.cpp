#include "SingleInstance.h"

#include "Logger.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace
{
constexpr int kAnswerTimeoutMs = 15000;

bool MakeAddress(const std::string& strPath, sockaddr_un& address)
{
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    if (strPath.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, strPath.c_str(), strPath.size() + 1);
    return true;
}

bool ReadLine(int nFd, std::string& line, int nTimeoutMs)
{
    line.clear();
    while (line.size() < 64)
    {
        pollfd pfd{nFd, POLLIN, 0};
        if (::poll(&pfd, 1, nTimeoutMs) <= 0)
            return false;
        char c = 0;
        if (::read(nFd, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
    return false;
}

bool WriteAll(int nFd, const std::string& text)
{
    std::size_t nDone = 0;
    while (nDone < text.size())
    {
        const ssize_t n = ::send(nFd, text.data() + nDone, text.size() - nDone, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        nDone += static_cast<std::size_t>(n);
    }
    return true;
}
} // namespace

CSingleInstance::CSingleInstance(std::string strName) : m_strName(std::move(strName)) {}

CSingleInstance::~CSingleInstance()
{
    StopListening();
    if (m_nLockFd >= 0)
        ::close(m_nLockFd);
}

std::string CSingleInstance::GetRuntimeFolder()
{
    const char* szRuntime = std::getenv("XDG_RUNTIME_DIR");
    std::string strFolder = szRuntime && *szRuntime ? std::string(szRuntime) + "/kalimor"
                                                    : "/tmp/kalimor-" + std::to_string(::getuid());
    ::mkdir(strFolder.c_str(), 0700);
    struct stat info
    {
    };
    // A folder that another user made (or made open to others) is not ours.
    if (::lstat(strFolder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid() || (info.st_mode & 0077) != 0)
        return {};
    return strFolder;
}

std::string CSingleInstance::GetLockPath() const
{
    const std::string strFolder = GetRuntimeFolder();
    return strFolder.empty() ? std::string() : strFolder + "/" + m_strName + ".lock";
}

std::string CSingleInstance::GetSocketPath() const
{
    const std::string strFolder = GetRuntimeFolder();
    return strFolder.empty() ? std::string() : strFolder + "/" + m_strName + ".sock";
}

bool CSingleInstance::Acquire()
{
    const std::string strPath = GetLockPath();
    if (strPath.empty())
    {
        KLOG_ERR << "CSingleInstance::Acquire no private runtime folder";
        return true; // better a second client than none
    }
    m_nLockFd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_nLockFd < 0)
        return true;
    if (::flock(m_nLockFd, LOCK_EX | LOCK_NB) != 0)
    {
        ::close(m_nLockFd);
        m_nLockFd = -1;
        return false;
    }
    return true;
}

bool CSingleInstance::IsHeldByOther() const
{
    const std::string strPath = GetLockPath();
    const int nFd = strPath.empty() ? -1 : ::open(strPath.c_str(), O_RDWR | O_CLOEXEC);
    if (nFd < 0)
        return false;
    const bool bHeld = ::flock(nFd, LOCK_EX | LOCK_NB) != 0;
    if (!bHeld)
        ::flock(nFd, LOCK_UN);
    ::close(nFd);
    return bHeld;
}

bool CSingleInstance::StartListening(std::function<void(unsigned nMessage)> handler)
{
    sockaddr_un address{};
    const std::string strPath = GetSocketPath();
    if (strPath.empty() || !MakeAddress(strPath, address))
        return false;
    ::unlink(strPath.c_str()); // left by a client that crashed; we hold the lock
    m_nListenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_nListenFd < 0 ||
        ::bind(m_nListenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(m_nListenFd, 8) != 0)
    {
        KLOG_ERR << "CSingleInstance::StartListening can't listen on " << strPath;
        if (m_nListenFd >= 0)
            ::close(m_nListenFd);
        m_nListenFd = -1;
        return false;
    }
    m_bStop = false;
    m_listener = std::thread([this, handler = std::move(handler)] {
        while (!m_bStop)
        {
            pollfd pfd{m_nListenFd, POLLIN, 0};
            if (::poll(&pfd, 1, 200) <= 0)
                continue;
            const int nClient = ::accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (nClient < 0)
                continue;
            std::string line;
            if (ReadLine(nClient, line, 2000))
            {
                const unsigned nMessage =
                    static_cast<unsigned>(std::strtoul(line.c_str(), nullptr, 10));
                if (nMessage != 0)
                    handler(nMessage);
                WriteAll(nClient, "ok\n");
            }
            ::close(nClient);
        }
    });
    return true;
}

void CSingleInstance::StopListening()
{
    m_bStop = true;
    if (m_listener.joinable())
        m_listener.join();
    if (m_nListenFd >= 0)
    {
        ::close(m_nListenFd);
        m_nListenFd = -1;
        ::unlink(GetSocketPath().c_str());
    }
}

bool CSingleInstance::SendToRunning(unsigned nMessage) const
{
    sockaddr_un address{};
    if (!MakeAddress(GetSocketPath(), address))
        return false;
    const int nFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nFd < 0)
        return false;
    bool bDone = ::connect(nFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                 WriteAll(nFd, std::to_string(nMessage) + "\n");
    std::string answer;
    bDone = bDone && ReadLine(nFd, answer, kAnswerTimeoutMs) && answer == "ok";
    ::close(nFd);
    return bDone;
}
