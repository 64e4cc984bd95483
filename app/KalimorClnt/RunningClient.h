#pragma once

#include <chrono>
#include <string>

// The name that makes one client per user (its lock and its socket).
inline constexpr const char* kKalimorMutexName =
    "KALIMOR-CLIENT-09F065C6-9E4A-4f55-8FCE-B6C1160CC961";

// What a second start of the program sees of the client already running
// and of its own file; the tests put a scripted one in its place.
class IClientProcesses
{
public:
    virtual ~IClientProcesses() = default;
    // Another process holds the client's lock.
    virtual bool IsOtherRunning() = 0;
    // A private message to the running client (see MainWindowMessages.h).
    virtual bool SendToRunning(unsigned nMessage) = 0;
    virtual void Pause(std::chrono::milliseconds duration) = 0;
    // This process's program file, empty when it cannot be read.
    virtual std::string GetSelfPath() = 0;
    // The installed program file, the one a replacement overwrites.
    virtual std::string GetInstalledPath() = 0;
    virtual bool CopyFile(const std::string& strSource, const std::string& strTarget) = 0;
};

// Control of the client already running, from a second start of the
// program: bring it out of the tray, stop it (uninstall), stop it and put
// this program file in place of the installed one (replace-exe).
class CRunningClient
{
public:
    // Sending stop and waiting a second, this many times at most: a client
    // that never answers must not keep the uninstaller waiting for ever.
    static constexpr int kStopAttempts = 60;
    // The installed file may stay busy a moment after its process ended.
    static constexpr int kCopyAttempts = 6;
    static constexpr std::chrono::milliseconds kPause{1000};

    explicit CRunningClient(IClientProcesses& processes) : m_processes(processes) {}

    void OpenFromTray();
    // True once no other client runs; false when it still runs after the
    // last attempt.
    bool Stop();
    // True when this program file now is the installed one. A program started
    // from the installed file itself copies nothing: a file copied onto
    // itself would be emptied.
    bool StopAndReplace();

    // The same on this machine's processes and files.
    static void OpenSystemClientFromTray();
    static bool StopSystemClient();
    static bool StopAndReplaceSystemClient();

private:
    IClientProcesses& m_processes;
};
