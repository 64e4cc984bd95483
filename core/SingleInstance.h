#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// One client per user: a lock file held with flock for the life of the
// process, and a Unix socket beside it through which a second start sends the
// running client a private message ("open from tray" 1125, "stop" 1127).
// Both live in a 0700 folder: $XDG_RUNTIME_DIR/kalimor, else /tmp/kalimor-<uid>.
class CSingleInstance
{
public:
    explicit CSingleInstance(std::string strName);
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // True when this process is the first: it now holds the lock.
    bool Acquire();
    // Serves private messages; the handler runs on the listener's thread and
    // the sender waits until it returned.
    bool StartListening(std::function<void(unsigned nMessage)> handler);
    void StopListening();

    // Another process holds the lock (a client is running).
    bool IsHeldByOther() const;
    // Sends a message to the running client and waits (bounded) for its answer.
    bool SendToRunning(unsigned nMessage) const;

    static std::string GetRuntimeFolder();
    std::string GetLockPath() const;
    std::string GetSocketPath() const;

private:
    std::string m_strName;
    int m_nLockFd = -1;
    int m_nListenFd = -1;
    std::thread m_listener;
    std::atomic<bool> m_bStop{false};
};
