#include "DesktopThread.h"

#include <future>
#include <memory>

namespace
{
using Function = std::function<void()>;

gboolean RunOnce(gpointer pData)
{
    (*static_cast<Function*>(pData))();
    return G_SOURCE_REMOVE;
}

void DeleteFunction(gpointer pData)
{
    std::unique_ptr<Function> pOwned(static_cast<Function*>(pData));
}
} // namespace

CDesktopThread::CDesktopThread()
    : m_pContext(g_main_context_new()),
      m_pLoop(g_main_loop_new(m_pContext.get(), FALSE))
{
    // The loop is running before the constructor returns, so the first
    // Invoke never races the thread's start.
    std::promise<void> started;
    m_thread = std::thread([this, &started] {
        g_main_context_push_thread_default(m_pContext.get());
        Invoke([&started] { started.set_value(); });
        g_main_loop_run(m_pLoop.get());
        // Whatever the queued work left behind (replies, name watches) is
        // dispatched while this is still the thread's context.
        while (g_main_context_iteration(m_pContext.get(), FALSE))
        {
        }
        g_main_context_pop_thread_default(m_pContext.get());
    });
    started.get_future().wait();
}

CDesktopThread::~CDesktopThread()
{
    Stop();
}

void CDesktopThread::Stop()
{
    if (!m_thread.joinable())
        return;
    Invoke([this] { g_main_loop_quit(m_pLoop.get()); });
    m_thread.join();
}

void CDesktopThread::Invoke(std::function<void()> function)
{
    auto pFunction = std::make_unique<Function>(std::move(function));
    GSource* pSource = g_idle_source_new();
    g_source_set_priority(pSource, G_PRIORITY_DEFAULT);
    g_source_set_callback(pSource, RunOnce, pFunction.release(), DeleteFunction);
    g_source_attach(pSource, m_pContext.get());
    g_source_unref(pSource);
}

void CDesktopThread::InvokeAndWait(const std::function<void()>& function)
{
    if (IsCurrent())
    {
        function();
        return;
    }
    std::promise<void> done;
    Invoke([&function, &done] {
        function();
        done.set_value();
    });
    done.get_future().wait();
}
