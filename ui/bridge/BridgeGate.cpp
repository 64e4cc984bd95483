#include "BridgeGate.h"

#include "Logger.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;
// Bytes waiting in one direction of a joined connection; a full buffer stops
// reading from that side, so a peer that does not read holds no more.
constexpr std::size_t kBufferCap = std::size_t{64} * 1024;
constexpr std::size_t kReadChunk = std::size_t{16} * 1024;
constexpr auto kDrainTime = std::chrono::milliseconds(300);
constexpr auto kIdlePoll = std::chrono::milliseconds(250);
// The server's own backlog is short: a connection it has no room for yet is
// tried again this soon.
constexpr auto kConnectRetry = std::chrono::milliseconds(5);
// After an answer of its own the gate reads and drops what the peer still
// sends for this long, so the peer reads the answer instead of a reset.
constexpr auto kLinger = std::chrono::milliseconds(1000);
// Out of descriptors with nothing to push out: new connections wait in the
// listen queue this long rather than spin the loop.
constexpr auto kNoFilePause = std::chrono::milliseconds(50);

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// An answer of the gate's own; the connection ends with it.
std::string Answer(int nStatus, const char* szReason)
{
    return "HTTP/1.1 " + std::to_string(nStatus) + " " + szReason +
           "\r\nContent-Length: 0\r\nConnection: close\r\nReferrer-Policy: no-referrer\r\n\r\n";
}

// "METHOD TARGET HTTP/1.x" and the header lines, up to the empty line.
bool ParseHead(std::string_view text, SRequestHead& head)
{
    const std::size_t nLineEnd = text.find("\r\n");
    const std::string_view line = text.substr(0, nLineEnd);
    const std::size_t nFirst = line.find(' ');
    const std::size_t nSecond =
        nFirst == std::string_view::npos ? nFirst : line.find(' ', nFirst + 1);
    if (nSecond == std::string_view::npos || !line.substr(nSecond + 1).starts_with("HTTP/1."))
        return false;
    head.m_strMethod = line.substr(0, nFirst);
    head.m_strTarget = line.substr(nFirst + 1, nSecond - nFirst - 1);
    head.m_strHeaders = text.substr(nLineEnd + 2);
    return !head.m_strMethod.empty() && head.m_strTarget.starts_with('/');
}

bool ParseLength(const std::string& text, std::uint64_t& nLength)
{
    nLength = 0;
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    nLength = std::stoull(text);
    return true;
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Sends what it can now; false when the peer is gone.
bool Flush(int fd, std::string& buffer)
{
    while (!buffer.empty())
    {
        const ssize_t nSent = ::send(fd, buffer.data(), buffer.size(), MSG_NOSIGNAL);
        if (nSent < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        buffer.erase(0, static_cast<std::size_t>(nSent));
    }
    return true;
}

enum class ERead
{
    Data,
    Nothing, // nothing there now
    End,     // the peer closed or failed
};

ERead ReadSome(int fd, std::string& buffer, std::size_t nMax)
{
    char chunk[kReadChunk];
    const ssize_t nRead = ::recv(fd, chunk, std::min(nMax, sizeof(chunk)), 0);
    if (nRead > 0)
    {
        buffer.append(chunk, static_cast<std::size_t>(nRead));
        return ERead::Data;
    }
    if (nRead < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return ERead::Nothing;
    return ERead::End;
}
} // namespace

std::string SRequestHead::Header(std::string_view name) const
{
    std::string_view rest = m_strHeaders;
    while (!rest.empty())
    {
        const std::size_t nEnd = rest.find("\r\n");
        const std::string_view line = rest.substr(0, nEnd);
        const std::size_t nColon = line.find(':');
        if (nColon != std::string_view::npos && SameName(line.substr(0, nColon), name))
            return std::string(Trim(line.substr(nColon + 1)));
        if (nEnd == std::string_view::npos)
            break;
        rest.remove_prefix(nEnd + 2);
    }
    return {};
}

std::string SRequestHead::Param(std::string_view name) const
{
    std::string_view query = m_strTarget;
    const std::size_t nQuestion = query.find('?');
    if (nQuestion == std::string_view::npos)
        return {};
    query = query.substr(nQuestion + 1);
    query = query.substr(0, query.find('#'));
    while (!query.empty())
    {
        const std::size_t nAmp = query.find('&');
        const std::string_view pair = query.substr(0, nAmp);
        const std::size_t nEqual = pair.find('=');
        if (nEqual != std::string_view::npos && pair.substr(0, nEqual) == name)
            return std::string(pair.substr(nEqual + 1));
        if (nAmp == std::string_view::npos)
            break;
        query.remove_prefix(nAmp + 1);
    }
    return {};
}

struct CBridgeGate::SConnection
{
    enum class EState
    {
        Head,       // reading the first request's head
        Connecting, // waiting for room in the server's backlog
        Joined,     // passing bytes both ways
        Answering,  // an answer of the gate's own goes out, then it ends
    };
    int m_nClient = -1;
    int m_nUpstream = -1;
    EState m_state = EState::Head;
    Clock::time_point m_opened;
    Clock::time_point m_deadline;
    std::string m_strHead;
    std::string m_strToUpstream;
    std::string m_strToClient;
    bool m_bWindow = false;
    bool m_bCounted = false;    // holds one of the joined places (window or other)
    bool m_bClientDone = false; // nothing more is read from the client
    bool m_bWriteShut = false;  // the peer heard that the answer is all
    bool m_bUpstreamEnded = false;
    bool m_bDead = false;
    std::uint64_t m_nBodyLeft = 0; // a request without the key: its body still to pass on

    ~SConnection()
    {
        CloseFd(m_nClient);
        CloseFd(m_nUpstream);
    }
};

CBridgeGate::CBridgeGate(SBridgeLimits limits, WindowTest isWindow)
    : m_limits(limits),
      m_isWindow(std::move(isWindow))
{
}

CBridgeGate::~CBridgeGate()
{
    Stop();
}

bool CBridgeGate::Start(const std::string& strUpstream)
{
    m_strUpstream = strUpstream;
    m_nListen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    m_nWake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof(address);
    if (m_nListen < 0 || m_nWake < 0 ||
        ::bind(m_nListen, reinterpret_cast<sockaddr*>(&address), nLength) != 0 ||
        ::listen(m_nListen, SOMAXCONN) != 0 ||
        ::getsockname(m_nListen, reinterpret_cast<sockaddr*>(&address), &nLength) != 0)
    {
        KLOG_ERR << "CBridgeGate::Start can't listen on 127.0.0.1: " << std::strerror(errno);
        CloseFd(m_nListen);
        CloseFd(m_nWake);
        return false;
    }
    m_nPort = ntohs(address.sin_port);
    m_bStopAccepting = false;
    // Every connection holds a descriptor (two when joined); the usual soft
    // limit of 1024 would run out before the connection limit does.
    rlimit files{};
    const rlim_t nWanted = 2 * m_limits.m_nMaxConnections + 512;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < nWanted)
    {
        files.rlim_cur = std::min(nWanted, files.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    m_bStopping = false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

void CBridgeGate::StopAccepting()
{
    m_bStopAccepting = true;
    const std::uint64_t nOne = 1;
    if (m_nWake >= 0)
    {
        [[maybe_unused]] const ssize_t nWritten = ::write(m_nWake, &nOne, sizeof(nOne));
    }
}

void CBridgeGate::Stop()
{
    if (!m_thread.joinable())
        return;
    m_bStopping = true;
    const std::uint64_t nOne = 1;
    [[maybe_unused]] const ssize_t nWritten = ::write(m_nWake, &nOne, sizeof(nOne));
    m_thread.join();
    CloseFd(m_nListen);
    CloseFd(m_nWake);
}

void CBridgeGate::Run()
{
    std::vector<std::unique_ptr<SConnection>> connections;
    std::size_t nJoinedWindow = 0;
    std::size_t nJoinedOther = 0;
    bool bDraining = false;
    Clock::time_point drainEnd;
    Clock::time_point listenPausedUntil;
    std::vector<pollfd> polls;
    std::vector<std::pair<SConnection*, bool>>
        owners; // the connection and whether it is the server side

    // bLinger: the peer may still be sending what the answer turns down.
    const auto answer = [](SConnection& c, int nStatus, const char* szReason, bool bLinger = true) {
        c.m_state = SConnection::EState::Answering;
        c.m_strToClient = Answer(nStatus, szReason);
        c.m_strHead.clear();
        c.m_deadline = std::min(c.m_deadline, Clock::now() + kLinger);
        c.m_bClientDone = c.m_bClientDone || !bLinger;
        CloseFd(c.m_nUpstream);
    };
    const auto tryConnect = [this](SConnection& c) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_strUpstream.c_str(), sizeof(address.sun_path) - 1);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
        {
            c.m_nUpstream = fd;
            c.m_state = SConnection::EState::Joined;
            return;
        }
        const int nError = errno;
        CloseFd(fd);
        if (nError == EAGAIN)
            return;
        // The server has stopped (the client is ending): the peer finds the
        // connection closed, as it would find the port, and a page takes the
        // client for gone.
        if (nError != ECONNREFUSED && nError != ENOENT)
            KLOG_ERR << "CBridgeGate can't reach the server: " << std::strerror(nError);
        c.m_bDead = true;
    };
    // The first request's head is in: answered here, or joined to the server.
    const auto onHead = [&](SConnection& c, std::size_t nHeadEnd) {
        SRequestHead head;
        if (!ParseHead(std::string_view(c.m_strHead).substr(0, nHeadEnd), head))
            return answer(c, 400, "Bad Request");
        c.m_bWindow = m_isWindow(head);
        std::uint64_t nLength = 0;
        const std::string strLength = head.Header("Content-Length");
        if (!strLength.empty() && !ParseLength(strLength, nLength))
            return answer(c, 400, "Bad Request");
        if (nLength > (c.m_bWindow ? m_limits.m_nMaxBody : m_limits.m_nMaxOtherBody))
        {
            ++m_counters.m_nTooLarge;
            return answer(c, 413, "Payload Too Large");
        }
        if (!c.m_bWindow && !head.Header("Transfer-Encoding").empty())
            return answer(c, 411, "Length Required");
        std::size_t& nJoined = c.m_bWindow ? nJoinedWindow : nJoinedOther;
        if (nJoined >= (c.m_bWindow ? m_limits.m_nReserved : m_limits.m_nMaxOtherRequests))
        {
            ++m_counters.m_nRefused;
            return answer(c, 503, "Service Unavailable", nLength > 0);
        }
        ++nJoined;
        c.m_bCounted = true;
        c.m_strToUpstream = std::move(c.m_strHead);
        if (c.m_bWindow)
            c.m_deadline = Clock::time_point::max();
        else
        {
            // One request only: its head and body, nothing after them, and
            // the server closes when it has answered. (Its first Connection
            // header is the one it reads. A half-closed socket would not do:
            // the server takes it for a peer gone and does not answer.)
            const std::uint64_t nHave = c.m_strToUpstream.size() - nHeadEnd;
            if (nHave > nLength)
                c.m_strToUpstream.resize(nHeadEnd + nLength);
            const std::size_t nLineEnd = c.m_strToUpstream.find("\r\n") + 2;
            c.m_strToUpstream.insert(nLineEnd, "Connection: close\r\n");
            c.m_nBodyLeft = nLength - std::min(nHave, nLength);
            c.m_bClientDone = c.m_nBodyLeft == 0;
            c.m_deadline = c.m_opened + m_limits.m_otherDeadline;
        }
        c.m_state = SConnection::EState::Connecting;
        tryConnect(c);
    };
    const auto release = [&](SConnection& c) {
        if (c.m_bCounted)
            --(c.m_bWindow ? nJoinedWindow : nJoinedOther);
        c.m_bCounted = false;
    };

    for (;;)
    {
        auto now = Clock::now();
        if (m_bStopAccepting && m_nListen >= 0)
            CloseFd(m_nListen);
        if (m_bStopping && !bDraining)
        {
            bDraining = true;
            drainEnd = now + kDrainTime;
            CloseFd(m_nListen);
            for (auto& c : connections)
                if (c->m_state != SConnection::EState::Joined)
                    c->m_bDead = true;
        }
        // Past their deadlines: heads still coming, requests without the key.
        for (auto& c : connections)
            if (now >= c->m_deadline && !c->m_bDead)
            {
                if (c->m_state != SConnection::EState::Answering)
                    ++m_counters.m_nDropped;
                c->m_bDead = true;
            }
        for (auto& c : connections)
            if (c->m_bDead)
                release(*c);
        std::erase_if(connections, [](const auto& c) { return c->m_bDead; });
        if (bDraining && (connections.empty() || now >= drainEnd))
            break;

        polls.clear();
        owners.clear();
        auto wait = kIdlePoll;
        const auto add = [&](int fd, short nEvents, SConnection* pOwner, bool bUpstream) {
            // A side with nothing to do is left out: its hang-up would
            // otherwise wake the loop again and again.
            polls.push_back({nEvents ? fd : -1, nEvents, 0});
            owners.emplace_back(pOwner, bUpstream);
        };
        add(m_nWake, POLLIN, nullptr, false);
        if (m_nListen >= 0 && now >= listenPausedUntil)
            add(m_nListen, POLLIN, nullptr, false);
        else if (m_nListen >= 0)
            wait =
                std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(kNoFilePause));
        for (auto& pc : connections)
        {
            SConnection& c = *pc;
            short nClient = c.m_strToClient.empty() ? 0 : POLLOUT;
            if (c.m_state == SConnection::EState::Head ||
                (c.m_state == SConnection::EState::Answering && !c.m_bClientDone) ||
                (c.m_state == SConnection::EState::Joined && !c.m_bClientDone &&
                 c.m_strToUpstream.size() < kBufferCap))
                nClient |= POLLIN;
            add(c.m_nClient, nClient, &c, false);
            if (c.m_state == SConnection::EState::Connecting)
                wait = std::min(
                    wait, std::chrono::duration_cast<std::chrono::milliseconds>(kConnectRetry));
            if (c.m_state == SConnection::EState::Joined)
            {
                short nUpstream = c.m_strToUpstream.empty() ? 0 : POLLOUT;
                if (!c.m_bUpstreamEnded && c.m_strToClient.size() < kBufferCap)
                    nUpstream |= POLLIN;
                add(c.m_nUpstream, nUpstream, &c, true);
            }
            if (c.m_deadline != Clock::time_point::max())
                wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          c.m_deadline - now) +
                                          std::chrono::milliseconds(1));
        }
        const int nReady =
            ::poll(polls.data(), polls.size(), static_cast<int>(std::max<long>(wait.count(), 0)));
        if (nReady < 0 && errno != EINTR)
        {
            KLOG_ERR << "CBridgeGate poll failed: " << std::strerror(errno);
            break;
        }
        now = Clock::now();

        for (std::size_t i = 0; i < polls.size(); ++i)
        {
            const short nEvents = polls[i].revents;
            SConnection* pConnection = owners[i].first;
            if (polls[i].fd == m_nWake && !pConnection)
            {
                if (nEvents & POLLIN)
                {
                    std::uint64_t nValue = 0;
                    [[maybe_unused]] const ssize_t nRead = ::read(m_nWake, &nValue, sizeof(nValue));
                }
                continue;
            }
            if (!pConnection)
            {
                if (!(nEvents & POLLIN))
                    continue;
                // New connections: over the limit, a refusal still going out
                // or else the oldest head still coming makes room; with
                // neither, the new one is turned away at once.
                for (;;)
                {
                    const int fd =
                        ::accept4(m_nListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    const bool bNoFile = fd < 0 && (errno == EMFILE || errno == ENFILE);
                    if (fd < 0 && !bNoFile)
                        break;
                    const std::size_t nLive = static_cast<std::size_t>(
                        std::count_if(connections.begin(), connections.end(),
                                      [](const auto& c) { return !c->m_bDead; }));
                    SConnection* pVictim = nullptr;
                    if (bNoFile || nLive >= m_limits.m_nMaxConnections)
                    {
                        for (const auto eState :
                             {SConnection::EState::Answering, SConnection::EState::Head})
                        {
                            for (auto& c : connections)
                                if (!c->m_bDead && c->m_state == eState &&
                                    (!pVictim || c->m_opened < pVictim->m_opened))
                                    pVictim = c.get();
                            if (pVictim)
                                break;
                        }
                        if (pVictim)
                        {
                            if (pVictim->m_state == SConnection::EState::Head)
                                ++m_counters.m_nDropped;
                            pVictim->m_bDead = true;
                            CloseFd(pVictim->m_nClient);
                        }
                    }
                    if (bNoFile && pVictim)
                        continue; // a descriptor is free again
                    if (bNoFile)
                    {
                        listenPausedUntil = now + kNoFilePause;
                        break;
                    }
                    if (fd < 0)
                        break;
                    ++m_counters.m_nAccepted;
                    const int nOne = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nOne, sizeof(nOne));
                    if (nLive >= m_limits.m_nMaxConnections && !pVictim)
                    {
                        ++m_counters.m_nRefused;
                        // What the peer sent already is read first: a close
                        // over unread bytes would reset the answer away.
                        std::string strSent;
                        while (strSent.size() < m_limits.m_nMaxHead &&
                               ReadSome(fd, strSent, m_limits.m_nMaxHead) == ERead::Data)
                        {
                        }
                        const std::string strBusy = Answer(503, "Service Unavailable");
                        [[maybe_unused]] const ssize_t nSent =
                            ::send(fd, strBusy.data(), strBusy.size(), MSG_NOSIGNAL);
                        ::shutdown(fd, SHUT_WR);
                        ::close(fd);
                        continue;
                    }
                    auto c = std::make_unique<SConnection>();
                    c->m_nClient = fd;
                    c->m_opened = now;
                    c->m_deadline = now + m_limits.m_headDeadline;
                    connections.push_back(std::move(c));
                }
                continue;
            }
            SConnection& c = *pConnection;
            if (c.m_bDead || nEvents == 0)
                continue;
            const bool bUpstream = owners[i].second;
            if (!bUpstream)
            {
                if ((nEvents & (POLLIN | POLLHUP | POLLERR)) &&
                    c.m_state == SConnection::EState::Answering)
                {
                    std::string dropped;
                    if (ReadSome(c.m_nClient, dropped, kReadChunk) == ERead::End)
                        c.m_bClientDone = true;
                }
                else if ((nEvents & (POLLIN | POLLHUP | POLLERR)) &&
                         c.m_state == SConnection::EState::Head)
                {
                    const std::size_t nBefore = c.m_strHead.size();
                    const ERead read =
                        ReadSome(c.m_nClient, c.m_strHead, m_limits.m_nMaxHead + 4 - nBefore);
                    if (read == ERead::End)
                    {
                        c.m_bDead = true;
                        continue;
                    }
                    const std::size_t nEnd =
                        c.m_strHead.find("\r\n\r\n", nBefore < 3 ? 0 : nBefore - 3);
                    if (nEnd != std::string::npos && nEnd + 4 <= m_limits.m_nMaxHead)
                        onHead(c, nEnd + 4);
                    else if (c.m_strHead.size() >= m_limits.m_nMaxHead)
                    {
                        ++m_counters.m_nTooLarge;
                        answer(c, 431, "Request Header Fields Too Large");
                    }
                }
                else if ((nEvents & (POLLIN | POLLHUP | POLLERR)) &&
                         c.m_state == SConnection::EState::Joined && !c.m_bClientDone)
                {
                    const std::size_t nRoom =
                        kBufferCap - std::min(kBufferCap, c.m_strToUpstream.size());
                    const std::size_t nWant =
                        c.m_bWindow ? nRoom
                                    : static_cast<std::size_t>(
                                          std::min<std::uint64_t>(nRoom, c.m_nBodyLeft));
                    const std::size_t nBefore = c.m_strToUpstream.size();
                    const ERead read = ReadSome(c.m_nClient, c.m_strToUpstream, nWant);
                    if (read == ERead::End)
                    {
                        // A browser that closes is gone: the server hears of
                        // it when it writes next.
                        c.m_bDead = true;
                        continue;
                    }
                    if (!c.m_bWindow)
                    {
                        c.m_nBodyLeft -= c.m_strToUpstream.size() - nBefore;
                        c.m_bClientDone = c.m_nBodyLeft == 0;
                    }
                }
                if ((nEvents & POLLOUT) && !Flush(c.m_nClient, c.m_strToClient))
                {
                    c.m_bDead = true;
                    continue;
                }
            }
            else
            {
                if (nEvents & (POLLIN | POLLHUP | POLLERR))
                {
                    while (c.m_strToClient.size() < kBufferCap)
                    {
                        const ERead read = ReadSome(c.m_nUpstream, c.m_strToClient,
                                                    kBufferCap - c.m_strToClient.size());
                        if (read == ERead::End)
                            c.m_bUpstreamEnded = true;
                        if (read != ERead::Data)
                            break;
                    }
                }
                if ((nEvents & POLLOUT) && !Flush(c.m_nUpstream, c.m_strToUpstream))
                {
                    c.m_bDead = true;
                    continue;
                }
            }
            // Passed on at once rather than at the next turn: a click's event
            // and its patch wait for no poll.
            if (c.m_state == SConnection::EState::Joined &&
                (!Flush(c.m_nUpstream, c.m_strToUpstream) || !Flush(c.m_nClient, c.m_strToClient)))
                c.m_bDead = true;
            if (c.m_state == SConnection::EState::Answering && !Flush(c.m_nClient, c.m_strToClient))
                c.m_bDead = true;
        }

        // Closing what is done; joining what waited for the server.
        for (auto& pc : connections)
        {
            SConnection& c = *pc;
            if (c.m_bDead)
                continue;
            if (c.m_state == SConnection::EState::Connecting)
                tryConnect(c);
            if (c.m_state == SConnection::EState::Joined)
            {
                if (c.m_bUpstreamEnded && c.m_strToClient.empty())
                    c.m_bDead = true;
            }
            if (c.m_state == SConnection::EState::Answering && c.m_strToClient.empty())
            {
                if (!c.m_bWriteShut)
                    ::shutdown(c.m_nClient, SHUT_WR);
                c.m_bWriteShut = true;
                if (c.m_bClientDone)
                    c.m_bDead = true;
            }
        }
    }
    for (auto& c : connections)
        release(*c);
}
