#pragma once

#include "UiDispatcher.h"
#include "UpdateFlow.h"

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

// A stand-in for the client's UI thread: one thread running queued tasks.
class CTestUiLoop : public IUiDispatcher
{
public:
    CTestUiLoop();
    ~CTestUiLoop() override;

    bool Send(std::function<void()> fn) override;
    void Post(std::function<void()> fn) override;
    // Ends the loop; waiting senders are released without their task running.
    void Stop();
    bool IsLoopThread() const { return std::this_thread::get_id() == m_thread.get_id(); }
    std::thread::id GetThreadId() const { return m_thread.get_id(); }

private:
    struct CTask
    {
        std::function<void()> m_fn;
        bool* m_pDone = nullptr;
    };
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<CTask> m_tasks;
    bool m_bStopped = false;
    std::thread m_thread;
};

// The update dialog as a test sees it: what it was shown, on which thread, and
// the answers it gives to the questions the flow asks.
class CTestUpdateView : public IUpdateView
{
public:
    explicit CTestUpdateView(const CTestUiLoop& loop) : m_loop(loop) {}

    void ShowState(const CUpdateViewState& state) override;
    void ShowProgress(int nValue) override;
    std::string AskInstallerPath(const std::string& strDefaultName) override;
    bool OpenUrl(const std::string& strUrl) override;
    void ShowMessage(std::string_view text) override;
    void EndDialog(int nCode) override;

    // Waits until the flow shows the state (true) or the time runs out.
    bool WaitForState(int nState, std::chrono::milliseconds timeout = 20s);
    std::optional<int> WaitForEnd(std::chrono::milliseconds timeout = 30s);
    // Waits until a progress value of at least nValue was shown.
    bool WaitForProgress(int nValue, std::chrono::milliseconds timeout = 20s);

    std::vector<CUpdateViewState> States() const;
    std::vector<int> StateNumbers() const;
    std::optional<CUpdateViewState> LastState() const;
    // (state, value) of every progress report.
    std::vector<std::pair<int, int>> Progress() const;
    std::vector<std::string> Messages() const;
    std::vector<std::string> OpenedUrls() const;
    std::string DefaultInstallerName() const;
    // True when every call came on the loop's thread.
    bool AllOnLoopThread() const { return m_bAllOnLoop; }

    std::string m_strInstallerAnswer;
    bool m_bOpenUrlResult = true;

private:
    void Note();

    const CTestUiLoop& m_loop;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<CUpdateViewState> m_states;
    std::vector<std::pair<int, int>> m_progress;
    std::vector<std::string> m_messages;
    std::vector<std::string> m_urls;
    std::string m_strDefaultName;
    std::optional<int> m_nEndCode;
    bool m_bAllOnLoop = true;
};

// Builds ZIP packages with minizip, including the kinds a hostile publisher
// could make.
class CZipBuilder
{
public:
    void Add(std::string strName, std::string data, bool bUtf8Name = true);
    void AddSymlink(std::string strName, std::string target);
    // Writes the archive; false when minizip fails.
    bool Write(const std::string& strPath) const;
    std::string Bytes() const;

private:
    struct CEntry
    {
        std::string m_strName;
        std::string m_data;
        bool m_bUtf8 = true;
        std::uint32_t m_nMode = 0100644;
    };
    std::vector<CEntry> m_entries;
};

// A tinyproxy on a free loopback port, with basic authentication.
class CTinyProxy
{
public:
    CTinyProxy(const std::string& strUser, const std::string& strPassword);
    ~CTinyProxy();
    bool IsRunning() const { return m_pid > 0; }
    unsigned GetPort() const { return m_nPort; }

private:
    std::string m_strFolder;
    pid_t m_pid = -1;
    unsigned m_nPort = 0;
};

// A port on 127.0.0.1 that nothing listens on right now.
unsigned FreeLoopbackPort();
// Request settings that reach the service directly and keep the pauses short.
CRequestSettings FastSettings(const std::string& strHost, unsigned nPort);
