#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// A message of a window: the target window's handle, the message number and
// its two parameters, as the window procedures of the client expect them.
struct CWindowMessage
{
    int m_nWindow = 0;
    unsigned m_nMsg = 0;
    std::uintptr_t m_wParam = 0;
    std::intptr_t m_lParam = 0;
};

// The user-interface thread's loop: a queue of tasks and window messages and a
// set of timers. Every window, DOM, search and content call runs on the thread
// that runs the loop; other threads reach it only through PostTask/PostMessage
// (queue and return) or SendTask/SendMessage (queue and wait for the result).
// Loops nest: a modal dialog runs RunUntil while the outer loop waits.
class CMessageLoop
{
public:
    using Task = std::function<void()>;
    using Dispatcher = std::function<std::intptr_t(const CWindowMessage&)>;

    CMessageLoop();
    ~CMessageLoop();
    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;

    // The calling thread's loop: the first one made on it, or the one running.
    static CMessageLoop* GetCurrent();

    // Where window messages go (the window manager). Set on the UI thread.
    void SetDispatcher(Dispatcher dispatcher) { m_dispatcher = std::move(dispatcher); }
    // Called on the UI thread after each task, message or timer, so changes
    // made by the handlers can be flushed to the screen in one piece.
    void SetAfterDispatchHook(Task hook) { m_afterDispatch = std::move(hook); }

    // Thread-safe. False when the loop has already ended.
    bool PostTask(Task task);
    bool PostMessage(const CWindowMessage& message);
    // Runs the task on the UI thread and waits until it ran. On the UI thread
    // itself it runs at once. False when the loop ended before running it.
    bool SendTask(Task task);
    // The same for a window message; the result is the window procedure's.
    bool SendMessage(const CWindowMessage& message, std::intptr_t* pResult = nullptr);

    // UI thread only. A timer calls its callback every period until killed;
    // returns its id (never 0).
    unsigned SetTimer(std::chrono::milliseconds period, Task callback);
    void KillTimer(unsigned nTimerId);
    bool HasTimer(unsigned nTimerId) const { return m_timers.count(nTimerId) != 0; }
    // The period of a running timer; zero when there is no such timer.
    std::chrono::milliseconds GetTimerPeriod(unsigned nTimerId) const
    {
        const auto it = m_timers.find(nTimerId);
        return it == m_timers.end() ? std::chrono::milliseconds(0) : it->second.m_period;
    }

    // Runs until Quit. Returns the exit code given to Quit.
    int Run();
    // A nested loop: dispatches until bDone() is true or the loop quits.
    // False when it ended by Quit.
    bool RunUntil(const std::function<bool()>& bDone);
    // Ends every running loop, the nested ones first. Thread-safe.
    void Quit(int nExitCode = 0);
    bool IsQuitting() const;
    bool IsUIThread() const { return std::this_thread::get_id() == m_uiThread; }
    // Binds the loop to the calling thread (done by Run; tests may call it).
    void BindToCurrentThread() { m_uiThread = std::this_thread::get_id(); }
    int GetDepth() const { return m_nDepth; }

private:
    struct CItem
    {
        Task m_task;
        CWindowMessage m_message;
        bool m_bIsMessage = false;
    };
    struct CTimer
    {
        std::chrono::steady_clock::time_point m_next;
        std::chrono::milliseconds m_period;
        Task m_callback;
    };

    bool Enqueue(CItem item);
    // One step: the next due timer or queued item, or a wait for either.
    void DispatchOne();
    void RunTimers();
    void AfterDispatch();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<CItem> m_queue;
    bool m_bQuit = false;
    bool m_bEnded = false;
    int m_nExitCode = 0;
    int m_nDepth = 0;
    std::thread::id m_uiThread;
    Dispatcher m_dispatcher;
    Task m_afterDispatch;
    std::map<unsigned, CTimer> m_timers;
    unsigned m_nNextTimerId = 1;
};
