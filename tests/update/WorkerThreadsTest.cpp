#include "WorkerThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace
{
// A worker's thread-local object whose destructor is slow, as libcurl's and
// the TLS library's per-thread clean-up can be: it counts when it is done.
struct CExitMark
{
    std::atomic<int>* m_pExited = nullptr;
    ~CExitMark()
    {
        if (!m_pExited)
            return;
        std::this_thread::sleep_for(50ms);
        ++*m_pExited;
    }
};
thread_local CExitMark t_mark;
} // namespace

// WaitAll's caller tears down what the workers used (the log, the loop) and a
// program exits after it: no worker may still be on its way out.
TEST(WorkerThreads, WaitAllReturnsOnlyAfterEveryWorkerLeftItsThread)
{
    // Outlives the test: a thread that is still ending may count late.
    static std::atomic<int> nExited;
    for (const int nWorkers : {1, 2, 5})
    {
        nExited = 0;
        for (int n = 0; n < nWorkers; ++n)
            CWorkerThreads::Start([] { t_mark.m_pExited = &nExited; });
        ASSERT_TRUE(CWorkerThreads::WaitAll(10s)) << nWorkers;
        EXPECT_EQ(CWorkerThreads::Count(), 0) << nWorkers;
        EXPECT_EQ(nExited.load(), nWorkers) << nWorkers << " workers: a thread was still ending";
    }
}
