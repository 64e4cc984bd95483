#pragma once

#include "GObjectPtr.h"

#include <functional>
#include <thread>

// A thread that runs a GLib main context of its own. The desktop's D-Bus
// services (the tray icon, notifications) live on it, so a slow or silent bus
// never holds up the client's user-interface thread; GLib objects made there
// dispatch their callbacks there too. Stopping it (the destructor) ends the
// loop and joins the thread; work queued after that is dropped.
class CDesktopThread
{
public:
    CDesktopThread();
    ~CDesktopThread();
    CDesktopThread(const CDesktopThread&) = delete;
    CDesktopThread& operator=(const CDesktopThread&) = delete;

    // Ends the loop and joins the thread (also done by the destructor), after
    // the work already queued.
    void Stop();
    // Queues the function for the thread. Thread-safe.
    void Invoke(std::function<void()> function);
    // Runs the function on the thread and waits for it; at once when called
    // on the thread itself.
    void InvokeAndWait(const std::function<void()>& function);
    bool IsCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }
    GMainContext* GetContext() const { return m_pContext.get(); }

private:
    GMainContextPtr m_pContext;
    GMainLoopPtr m_pLoop;
    std::thread m_thread;
};
