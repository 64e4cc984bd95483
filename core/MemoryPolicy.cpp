#include "MemoryPolicy.h"

#include "Logger.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

void CMemoryPolicy::SetForLongSession()
{
#ifdef __GLIBC__
    // One arena per busy thread (up to eight per core) each kept its own free
    // blocks: with the bridge's pool the resident size rose by about 1 MiB per
    // hundred views. Two arenas keep the main thread and the bridge apart.
    // A fixed threshold also stops glibc from raising it to the size of the
    // last big block freed, after which pages and patches came from the arenas
    // and left holes there instead of going back whole.
    if (mallopt(M_ARENA_MAX, kArenas) != 1 || mallopt(M_MMAP_THRESHOLD, kMapThreshold) != 1 ||
        mallopt(M_TRIM_THRESHOLD, 2 * kMapThreshold) != 1)
        KLOG_WARN << "CMemoryPolicy: the allocator refused its settings";
#endif
}

void CMemoryPolicy::ReleaseFreed()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
