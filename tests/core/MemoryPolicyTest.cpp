#include "MemoryPolicy.h"

#include <gtest/gtest.h>

#include <cstdlib>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace
{
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnAllocator = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kOwnAllocator = true;
#else
constexpr bool kOwnAllocator = false;
#endif
#else
constexpr bool kOwnAllocator = false;
#endif

// The pointers go through a volatile so that the compiler keeps the calls.
void* volatile g_pBlock = nullptr;
} // namespace

// Left to itself, glibc raises its threshold to the size of the last mapped
// block freed, and the next big blocks then come from the arena, where a
// long session leaves them as holes. After the policy a big block is mapped
// on its own however big the last one freed was.
TEST(MemoryPolicy, BigBlocksStayMappedAfterABiggerOneWasFreed)
{
#ifndef __GLIBC__
    GTEST_SKIP() << "glibc's allocator only";
#else
    if (kOwnAllocator)
        GTEST_SKIP() << "the address sanitizer brings an allocator of its own";
    CMemoryPolicy::SetForLongSession();
    g_pBlock = std::malloc(8 << 20);
    ASSERT_NE(g_pBlock, nullptr);
    std::free(g_pBlock);
    for (const std::size_t nBytes : {std::size_t{4} << 20, std::size_t{1} << 20,
                                     std::size_t(2 * CMemoryPolicy::kMapThreshold)})
    {
        const std::size_t nMappedBefore = mallinfo2().hblks;
        g_pBlock = std::malloc(nBytes);
        ASSERT_NE(g_pBlock, nullptr);
        EXPECT_EQ(mallinfo2().hblks, nMappedBefore + 1) << nBytes << " bytes came from an arena";
        std::free(g_pBlock);
        EXPECT_EQ(mallinfo2().hblks, nMappedBefore) << nBytes << " bytes were not given back";
    }
#endif
}
