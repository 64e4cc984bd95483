#pragma once

#include <chrono>
#include <functional>

// Worker threads (requests, unpacking, the client-version watcher) run
// detached and end by themselves. They are counted so that the program, and
// every test, can wait for the last of them before it tears down the objects
// they log through.
class CWorkerThreads
{
public:
    static void Start(std::function<void()> body);
    // True when no worker is left; false when the time ran out first.
    static bool WaitAll(std::chrono::milliseconds timeout);
    static int Count();
};
