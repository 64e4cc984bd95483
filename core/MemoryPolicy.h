#pragma once

// How the process's allocator keeps the memory it was given. The client runs
// for a whole working day with a pool of bridge threads that each build pages
// and patches: left to its defaults, glibc gives busy threads arenas of their
// own and serves big blocks from them once a big block was freed, and the
// resident size keeps creeping up around a live heap that does not grow.
class CMemoryPolicy
{
public:
    // Few arenas, and blocks of a page's size or more mapped on their own so
    // that freeing them gives them back at once. Call before any thread starts.
    static void SetForLongSession();

    // Gives the free pages of every arena back to the system: after a view is
    // dropped, when much was freed at once.
    static void ReleaseFreed();

    // What SetForLongSession sets; the test allocates around the threshold.
    static constexpr int kArenas = 2;
    static constexpr int kMapThreshold = 128 * 1024;
};
