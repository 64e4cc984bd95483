#include "WorkerThreads.h"

#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
struct CWorker
{
    std::thread m_thread;
    bool m_bDone = false;
};

struct CWorkerCount
{
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // Every thread not joined yet; a node stays put while its thread runs.
    std::list<CWorker> m_workers;
    int m_nCount = 0;
};

CWorkerCount& GetWorkerCount()
{
    // Never destroyed: a worker may still be ending while static objects go.
    static auto* pCount = new CWorkerCount;
    return *pCount;
}

// Takes the threads whose bodies ended out of the list. The caller joins
// them without the lock: a thread still leaving (its thread-local clean-up,
// libcurl's and the TLS library's included) takes a moment more.
std::vector<std::thread> TakeDone(CWorkerCount& count)
{
    std::vector<std::thread> done;
    for (auto it = count.m_workers.begin(); it != count.m_workers.end();)
    {
        if (it->m_bDone)
        {
            done.push_back(std::move(it->m_thread));
            it = count.m_workers.erase(it);
        }
        else
            ++it;
    }
    return done;
}

void JoinAll(std::vector<std::thread>& threads)
{
    for (std::thread& thread : threads)
        if (thread.joinable())
            thread.join();
}
} // namespace

void CWorkerThreads::Start(std::function<void()> body)
{
    CWorkerCount& count = GetWorkerCount();
    std::vector<std::thread> done;
    {
        std::lock_guard lock(count.m_mutex);
        done = TakeDone(count);
        ++count.m_nCount;
        CWorker& worker = count.m_workers.emplace_back();
        // The thread marks its node only under the lock, so not before the
        // node holds it.
        try
        {
            worker.m_thread = std::thread([body = std::move(body), &count, &worker]() mutable {
                body();
                body = nullptr; // what the body owned goes before the count drops
                std::lock_guard lock(count.m_mutex);
                worker.m_bDone = true;
                --count.m_nCount;
                count.m_changed.notify_all();
            });
        }
        catch (...)
        {
            // No thread could be had: nothing to wait for.
            count.m_workers.pop_back();
            --count.m_nCount;
            throw;
        }
    }
    JoinAll(done);
}

bool CWorkerThreads::WaitAll(std::chrono::milliseconds timeout)
{
    CWorkerCount& count = GetWorkerCount();
    std::vector<std::thread> done;
    bool bAllEnded = false;
    {
        std::unique_lock lock(count.m_mutex);
        bAllEnded = count.m_changed.wait_for(lock, timeout, [&] { return count.m_nCount == 0; });
        done = TakeDone(count);
    }
    // Whatever the caller tears down next, no worker is still on its way out.
    JoinAll(done);
    return bAllEnded;
}

int CWorkerThreads::Count()
{
    CWorkerCount& count = GetWorkerCount();
    std::lock_guard lock(count.m_mutex);
    return count.m_nCount;
}
