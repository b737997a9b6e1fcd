#include "support/guarded_alloc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <thread>
#include <vector>

namespace zr {
namespace {

const unsigned char* bytes(const void* block) {
    return static_cast<const unsigned char*>(block);
}

TEST(GuardedAlloc, FreshBlockHasExactCapacityAndGuard) {
    const std::int64_t inUseBefore = guardedAllocStats().bytesInUse.load();
    void* block = guardedAlloc(7);
    EXPECT_EQ(guardedCapacity(block), 7u);
    EXPECT_EQ(bytes(block)[7], 0x41);
    EXPECT_EQ(bytes(block)[8], 0x41);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0u);
    EXPECT_EQ(guardedAllocStats().bytesInUse.load(), inUseBefore + 7);
    guardedFree(block);
    EXPECT_EQ(guardedAllocStats().bytesInUse.load(), inUseBefore);
    guardedFree(nullptr);
    EXPECT_EQ(guardedCapacity(nullptr), 0u);
}

TEST(GuardedAlloc, GrowthRuleKeepsContents) {
    void* block = guardedAlloc(100);
    std::memset(block, 0x5A, 100);
    EXPECT_EQ(guardedRealloc(block, 50), block);
    EXPECT_EQ(guardedRealloc(block, 100), block);

    void* grown = guardedRealloc(block, 101);
    EXPECT_EQ(guardedCapacity(grown), 404u);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(bytes(grown)[i], 0x5A) << "byte " << i;
    }
    EXPECT_EQ(bytes(grown)[404], 0x41);
    EXPECT_EQ(bytes(grown)[405], 0x41);
    guardedFree(grown);

    void* large = guardedAlloc(3000);
    void* larger = guardedRealloc(large, 3001);
    EXPECT_EQ(guardedCapacity(larger), 6002u);
    guardedFree(larger);

    void* edge = guardedAlloc(1);
    void* edgeGrown = guardedRealloc(edge, 1024);
    EXPECT_EQ(guardedCapacity(edgeGrown), 4096u);
    guardedFree(edgeGrown);
}

TEST(GuardedAlloc, OverwrittenGuardIsNoticed) {
    guardedAllocStats().guardDamaged = false;
    auto* block = static_cast<unsigned char*>(guardedAlloc(16));
    guardedFree(guardedRealloc(block, 8));  // intact: nothing noticed
    EXPECT_FALSE(guardedAllocStats().guardDamaged.load());

    block = static_cast<unsigned char*>(guardedAlloc(16));
    block[16] = 'X';  // one byte past the data
    guardedFree(block);
    EXPECT_TRUE(guardedAllocStats().guardDamaged.load());
    guardedAllocStats().guardDamaged = false;
}

TEST(GuardedAlloc, ImpossibleRequestThrowsInsteadOfRetryingForever) {
    EXPECT_THROW(guardedAlloc(std::numeric_limits<std::size_t>::max()), std::bad_alloc);
    EXPECT_THROW(guardedAlloc(std::size_t{1} << 32), std::bad_alloc);
    void* block = guardedAlloc(8);
    EXPECT_THROW(guardedRealloc(block, std::size_t{1} << 33), std::bad_alloc);
    guardedFree(block);  // the block is still valid after the refused growth
}

TEST(GuardedAlloc, HeapIsCompactedOnceEveryHundredThousandFreshBlocks) {
    const std::int32_t compactionsBefore = guardedAllocStats().compactions.load();
    const std::int32_t countBefore = guardedAllocStats().allocationCount.load();
    for (int i = 0; i < 100000; ++i) {
        guardedFree(guardedAlloc(1));
    }
    EXPECT_EQ(guardedAllocStats().allocationCount.load(), countBefore + 100000);
    EXPECT_EQ(guardedAllocStats().compactions.load(), compactionsBefore + 1);
}

TEST(GuardedAlloc, CountersStayExactAcrossThreads) {
    const std::int32_t countBefore = guardedAllocStats().allocationCount.load();
    const std::int64_t inUseBefore = guardedAllocStats().bytesInUse.load();
    constexpr int kThreads = 4;
    constexpr int kBlocksEach = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < kBlocksEach; ++i) {
                void* block = guardedAlloc(static_cast<std::size_t>(i % 50 + 1));
                block = guardedRealloc(block, 200);
                guardedFree(block);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(guardedAllocStats().allocationCount.load(), countBefore + kThreads * kBlocksEach);
    EXPECT_EQ(guardedAllocStats().bytesInUse.load(), inUseBefore);
}

}  // namespace
}  // namespace zr
