#pragma once

#include <chrono>
#include <functional>

// Worker threads (requests, unpacking, the client-version watcher) end by
// themselves. They are counted so that the program, and every test, can wait
// for the last of them before it tears down the objects they log through; a
// thread whose body ended is joined by the next Start or WaitAll, so after
// WaitAll none is still leaving (its thread-local clean-up runs before the
// program's exit handlers, not beside them).
class CWorkerThreads
{
public:
    static void Start(std::function<void()> body);
    // True when no worker is left; false when the time ran out first. Either
    // way the threads whose bodies ended are joined.
    static bool WaitAll(std::chrono::milliseconds timeout);
    static int Count();
};
