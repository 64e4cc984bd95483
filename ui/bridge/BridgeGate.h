#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

// What one peer of the bridge may hold, and what the window is always left.
struct SBridgeLimits
{
    // Connections at once. One more pushes out the oldest one still sending
    // its head (the slow first), or one whose refusal is still going out;
    // with neither, it is refused at once. A browser sends its head as it
    // connects, so it is never the oldest for long.
    std::size_t m_nMaxConnections = 512;
    // Requests with the run's key (the window's own) joined to the server at
    // once: there is always a server thread for each of them.
    std::size_t m_nReserved = 32;
    // Requests without the key being answered at once (each holds a server
    // thread while it lasts); one more is answered 503.
    std::size_t m_nMaxOtherRequests = 32;
    // A request's head in full within this of its connection's opening.
    std::chrono::milliseconds m_headDeadline{2000};
    // A request without the key is answered and its connection gone within this.
    std::chrono::milliseconds m_otherDeadline{10000};
    std::size_t m_nMaxHead = std::size_t{16} * 1024;
    // The window's events (a copied selection included). Nothing without the
    // key has a body to send; one that comes would reach a server that answers
    // 403 before reading it, and its close over the unread body would lose
    // the answer.
    std::size_t m_nMaxBody = 16 << 20;
    std::size_t m_nMaxOtherBody = 0;
};

// The head of a request, as the gate read it.
struct SRequestHead
{
    std::string m_strMethod;
    std::string m_strTarget; // path and query, as sent
    std::string Header(std::string_view name) const;
    std::string Param(std::string_view name) const;
    std::string m_strHeaders; // the header lines, as sent
};

// The loopback port the browser talks to. It reads each connection's first
// request head itself, within a deadline and a size, turns away what is too
// large or over the limits, and only then joins the connection to the HTTP
// server behind it (on a socket in a private folder that no one else can
// reach). A connection whose first request carries the run's key (the
// window's) is joined for as long as it lasts; any other carries that one
// request only. So slow or many peers without the key never take the
// server's threads from the window, and nothing queues without end.
class CBridgeGate
{
public:
    using WindowTest = std::function<bool(const SRequestHead&)>;

    CBridgeGate(SBridgeLimits limits, WindowTest isWindow);
    ~CBridgeGate();
    CBridgeGate(const CBridgeGate&) = delete;
    CBridgeGate& operator=(const CBridgeGate&) = delete;

    // Listens on 127.0.0.1 (a random port) for the server at strUpstream.
    bool Start(const std::string& strUpstream);
    // New connections find the port closed; those open go on.
    void StopAccepting();
    // Answers still on their way are passed on for a moment, then all closes.
    void Stop();
    int GetPort() const { return m_nPort; }
    std::size_t GetWorkerCount() const
    {
        return m_limits.m_nReserved + m_limits.m_nMaxOtherRequests;
    }

    struct SCounters
    {
        std::atomic<std::uint64_t> m_nAccepted{0};
        std::atomic<std::uint64_t> m_nRefused{0};  // over the limits at once
        std::atomic<std::uint64_t> m_nDropped{0};  // slow: pushed out or past a deadline
        std::atomic<std::uint64_t> m_nTooLarge{0}; // head or body over its size
    };
    const SCounters& GetCounters() const { return m_counters; }

private:
    struct SConnection;
    void Run();

    const SBridgeLimits m_limits;
    const WindowTest m_isWindow;
    std::string m_strUpstream;
    int m_nListen = -1;
    int m_nWake = -1;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
    std::atomic<bool> m_bStopAccepting{false};
    std::thread m_thread;
    SCounters m_counters;
};
