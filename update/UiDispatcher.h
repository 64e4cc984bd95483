#pragma once

#include <functional>

// The way worker threads reach the user-interface thread. The message loop of
// the client implements it with its SendMessage and PostMessage; tests use a
// small loop thread.
class IUiDispatcher
{
public:
    virtual ~IUiDispatcher() = default;
    // Runs fn on the UI thread and waits until it has run; on the UI thread
    // itself it runs at once. False (fn not run) when the loop has ended.
    virtual bool Send(std::function<void()> fn) = 0;
    // Queues fn for the UI thread and returns at once.
    virtual void Post(std::function<void()> fn) = 0;
};
