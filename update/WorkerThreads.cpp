#include "WorkerThreads.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace
{
struct CWorkerCount
{
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_nCount = 0;
};

CWorkerCount& GetWorkerCount()
{
    // Never destroyed: a worker may still be ending while static objects go.
    static auto* pCount = new CWorkerCount;
    return *pCount;
}
} // namespace

void CWorkerThreads::Start(std::function<void()> body)
{
    CWorkerCount& count = GetWorkerCount();
    {
        std::lock_guard lock(count.m_mutex);
        ++count.m_nCount;
    }
    std::thread([body = std::move(body), &count]() mutable {
        body();
        body = nullptr; // what the body owned goes before the count drops
        std::lock_guard lock(count.m_mutex);
        --count.m_nCount;
        count.m_changed.notify_all();
    }).detach();
}

bool CWorkerThreads::WaitAll(std::chrono::milliseconds timeout)
{
    CWorkerCount& count = GetWorkerCount();
    std::unique_lock lock(count.m_mutex);
    return count.m_changed.wait_for(lock, timeout, [&] { return count.m_nCount == 0; });
}

int CWorkerThreads::Count()
{
    CWorkerCount& count = GetWorkerCount();
    std::lock_guard lock(count.m_mutex);
    return count.m_nCount;
}
