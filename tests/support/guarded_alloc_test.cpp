#include "support/guarded_alloc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

namespace zr {
namespace {

const unsigned char* bytes(const void* block) {
    return static_cast<const unsigned char*>(block);
}

TEST(GuardedAlloc, FreshBlocksAndTheGrowthRule) {
    GuardedAllocStats& stats = guardedAllocStats();
    const std::int64_t inUseBefore = stats.bytesInUse.load();
    void* small = guardedAlloc(7);
    EXPECT_EQ(guardedCapacity(small), 7u);
    EXPECT_EQ(bytes(small)[7], 0x41);
    EXPECT_EQ(bytes(small)[8], 0x41);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(small) % alignof(std::max_align_t), 0u);
    EXPECT_EQ(stats.bytesInUse.load(), inUseBefore + 7);

    void* block = guardedAlloc(100);
    std::memset(block, 0x5A, 100);
    EXPECT_EQ(guardedRealloc(block, 50), block);
    EXPECT_EQ(guardedRealloc(block, 100), block);
    block = guardedRealloc(block, 101);
    EXPECT_EQ(guardedCapacity(block), 404u);
    EXPECT_EQ(std::memcmp(block, std::vector<unsigned char>(100, 0x5A).data(), 100), 0);
    EXPECT_EQ(bytes(block)[404], 0x41);
    void* large = guardedRealloc(guardedAlloc(3000), 3001);
    EXPECT_EQ(guardedCapacity(large), 6002u);
    EXPECT_EQ(stats.bytesInUse.load(), inUseBefore + 7 + 404 + 6002);

    for (void* each : {small, block, large}) {
        guardedFree(each);
    }
    guardedFree(nullptr);
    EXPECT_EQ(stats.bytesInUse.load(), inUseBefore);
    EXPECT_FALSE(stats.guardDamaged.load());

    auto* overrun = static_cast<unsigned char*>(guardedAlloc(16));
    overrun[16] = 'X';  // one byte past the data
    guardedFree(overrun);
    EXPECT_TRUE(stats.guardDamaged.exchange(false));
}

TEST(GuardedAlloc, ImpossibleRequestsThrowInsteadOfRetryingForever) {
    EXPECT_THROW(guardedAlloc(SIZE_MAX), std::bad_alloc);
    void* block = guardedAlloc(8);
    EXPECT_THROW(guardedRealloc(block, std::size_t{1} << 32), std::bad_alloc);
    guardedFree(block);  // still valid after the refused growth
}

TEST(GuardedAlloc, CountersAreExactAcrossThreadsAndCompactionComesEvery100000) {
    GuardedAllocStats& stats = guardedAllocStats();
    const std::int32_t countBefore = stats.allocationCount.load();
    const std::int64_t inUseBefore = stats.bytesInUse.load();
    // Run up to just before a multiple of 100000, then 100000 more across four threads.
    while (stats.allocationCount.load() % 100000 != 99999) {
        guardedFree(guardedAlloc(1));
    }
    const std::int32_t compactionsBefore = stats.compactions.load();
    const std::int32_t countStart = stats.allocationCount.load();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 25000; ++i) {
                guardedFree(guardedAlloc(static_cast<std::size_t>(i % 50 + 1)));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(stats.allocationCount.load(), countStart + 100000);
    EXPECT_GE(stats.allocationCount.load(), countBefore + 100000);
    EXPECT_EQ(stats.compactions.load(), compactionsBefore + 1);
    EXPECT_EQ(stats.bytesInUse.load(), inUseBefore);
}

}  // namespace
}  // namespace zr
