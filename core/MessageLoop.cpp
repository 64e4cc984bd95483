#include "MessageLoop.h"

#include "Logger.h"

#include <future>

namespace
{
// The loop of each thread: the first one made on it, or the one running.
thread_local CMessageLoop* g_pCurrentLoop = nullptr;
} // namespace

CMessageLoop::CMessageLoop() : m_uiThread(std::this_thread::get_id())
{
    if (!g_pCurrentLoop)
        g_pCurrentLoop = this;
}

CMessageLoop::~CMessageLoop()
{
    std::deque<CItem> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_bEnded = true;
        dropped.swap(m_queue);
    }
    m_wake.notify_all();
    if (g_pCurrentLoop == this)
        g_pCurrentLoop = nullptr;
}

CMessageLoop* CMessageLoop::GetCurrent()
{
    return g_pCurrentLoop;
}

bool CMessageLoop::Enqueue(CItem item)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_bEnded)
            return false;
        m_queue.push_back(std::move(item));
    }
    m_wake.notify_all();
    return true;
}

bool CMessageLoop::PostTask(Task task)
{
    return Enqueue(CItem{std::move(task), {}, false});
}

bool CMessageLoop::PostMessage(const CWindowMessage& message)
{
    return Enqueue(CItem{{}, message, true});
}

bool CMessageLoop::SendTask(Task task)
{
    if (IsUIThread())
    {
        task();
        return true;
    }
    // The promise is shared so a task dropped unrun (loop ended) breaks it
    // and the waiting thread wakes instead of hanging.
    auto pDone = std::make_shared<std::promise<void>>();
    std::future<void> done = pDone->get_future();
    if (!PostTask([pDone, task = std::move(task)] {
            task();
            pDone->set_value();
        }))
        return false;
    pDone.reset();
    try
    {
        done.get();
        return true;
    }
    catch (const std::future_error&)
    {
        return false;
    }
}

bool CMessageLoop::SendMessage(const CWindowMessage& message, std::intptr_t* pResult)
{
    std::intptr_t nResult = 0;
    const bool bSent = SendTask([&] {
        if (m_dispatcher)
            nResult = m_dispatcher(message);
    });
    if (bSent && pResult)
        *pResult = nResult;
    return bSent;
}

unsigned CMessageLoop::SetTimer(std::chrono::milliseconds period, Task callback)
{
    if (period.count() <= 0)
        period = std::chrono::milliseconds(1);
    const unsigned nId = m_nNextTimerId++;
    m_timers[nId] = CTimer{std::chrono::steady_clock::now() + period, period, std::move(callback)};
    return nId;
}

void CMessageLoop::KillTimer(unsigned nTimerId)
{
    m_timers.erase(nTimerId);
}

void CMessageLoop::Quit(int nExitCode)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_bQuit)
            m_nExitCode = nExitCode;
        m_bQuit = true;
    }
    m_wake.notify_all();
}

bool CMessageLoop::IsQuitting() const
{
    std::lock_guard lock(m_mutex);
    return m_bQuit;
}

void CMessageLoop::AfterDispatch()
{
    if (m_afterDispatch)
        m_afterDispatch();
}

void CMessageLoop::RunTimers()
{
    const auto now = std::chrono::steady_clock::now();
    // A callback may kill or add timers: collect the due ids first and look
    // each one up again before calling it.
    std::vector<unsigned> due;
    for (const auto& [nId, timer] : m_timers)
        if (timer.m_next <= now)
            due.push_back(nId);
    for (const unsigned nId : due)
    {
        auto it = m_timers.find(nId);
        if (it == m_timers.end())
            continue;
        it->second.m_next = now + it->second.m_period;
        Task callback = it->second.m_callback; // the timer may be killed inside
        callback();
        AfterDispatch();
    }
}

void CMessageLoop::DispatchOne()
{
    RunTimers();
    CItem item;
    {
        std::unique_lock lock(m_mutex);
        if (m_queue.empty() && !m_bQuit)
        {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::hours(1);
            for (const auto& [nId, timer] : m_timers)
                deadline = std::min(deadline, timer.m_next);
            m_wake.wait_until(lock, deadline, [this] { return !m_queue.empty() || m_bQuit; });
        }
        if (m_queue.empty() || m_bQuit)
            return;
        item = std::move(m_queue.front());
        m_queue.pop_front();
    }
    if (item.m_bIsMessage)
    {
        if (m_dispatcher)
            m_dispatcher(item.m_message);
    }
    else if (item.m_task)
        item.m_task();
    AfterDispatch();
}

int CMessageLoop::Run()
{
    BindToCurrentThread();
    CMessageLoop* pOuter = g_pCurrentLoop;
    g_pCurrentLoop = this;
    ++m_nDepth;
    while (!IsQuitting())
        DispatchOne();
    --m_nDepth;
    if (pOuter)
        g_pCurrentLoop = pOuter;
    std::deque<CItem> dropped;
    {
        std::lock_guard lock(m_mutex);
        if (m_nDepth == 0)
        {
            m_bEnded = true;
            dropped.swap(m_queue); // breaks the promises of waiting senders
        }
    }
    return m_nExitCode;
}

bool CMessageLoop::RunUntil(const std::function<bool()>& bDone)
{
    ++m_nDepth;
    CMessageLoop* pOuter = g_pCurrentLoop;
    g_pCurrentLoop = this;
    // What the caller changed before entering (a dialog it just made) is
    // flushed now, not after the first message of the nested loop.
    AfterDispatch();
    while (!bDone() && !IsQuitting())
        DispatchOne();
    if (pOuter)
        g_pCurrentLoop = pOuter;
    --m_nDepth;
    return !IsQuitting();
}
