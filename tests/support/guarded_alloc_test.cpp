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
    GuardedAllocator memory;
    const GuardedAllocStats& stats = memory.stats();
    const std::int64_t inUseBefore = 0;
    void* small = memory.allocate(7);
    EXPECT_EQ(guardedCapacity(small), 7u);
    EXPECT_EQ(bytes(small)[7], 0x41);
    EXPECT_EQ(bytes(small)[8], 0x41);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(small) % alignof(std::max_align_t), 0u);
    EXPECT_EQ(stats.bytesInUse.load(), inUseBefore + 7);

    void* block = memory.allocate(100);
    std::memset(block, 0x5A, 100);
    EXPECT_EQ(memory.reallocate(block, 50), block);
    EXPECT_EQ(memory.reallocate(block, 100), block);
    block = memory.reallocate(block, 101);
    EXPECT_EQ(guardedCapacity(block), 404u);
    EXPECT_EQ(std::memcmp(block, std::vector<unsigned char>(100, 0x5A).data(), 100), 0);
    EXPECT_EQ(bytes(block)[404], 0x41);
    void* large = memory.reallocate(memory.allocate(3000), 3001);
    EXPECT_EQ(guardedCapacity(large), 6002u);
    EXPECT_EQ(stats.bytesInUse.load(), inUseBefore + 7 + 404 + 6002);

    for (void* each : {small, block, large}) {
        memory.release(each);
    }
    memory.release(nullptr);
    EXPECT_EQ(stats.bytesInUse.load(), inUseBefore);
    EXPECT_FALSE(stats.guardDamaged.load());

    auto* overrun = static_cast<unsigned char*>(memory.allocate(16));
    overrun[16] = 'X';  // one byte past the data
    memory.release(overrun);
    EXPECT_TRUE(memory.takeGuardDamaged());
    EXPECT_FALSE(stats.guardDamaged.load());

    // Moved, an allocator takes its counts along with the blocks it gave.
    void* kept = memory.allocate(10);
    GuardedAllocator moved(std::move(memory));
    EXPECT_EQ(moved.stats().bytesInUse.load(), 10);
    EXPECT_EQ(stats.bytesInUse.load(), 0);
    moved.release(kept);
    EXPECT_EQ(moved.stats().bytesInUse.load(), 0);
}

TEST(GuardedAlloc, ImpossibleRequestsThrowInsteadOfRetryingForever) {
    GuardedAllocator memory;
    EXPECT_THROW(memory.allocate(SIZE_MAX), std::bad_alloc);
    void* block = memory.allocate(8);
    EXPECT_THROW(memory.reallocate(block, std::size_t{1} << 32), std::bad_alloc);
    memory.release(block);  // still valid after the refused growth
}

TEST(GuardedAlloc, CountersAreExactAcrossThreadsAndCompactionComesEvery100000) {
    GuardedAllocator memory;
    const GuardedAllocStats& stats = memory.stats();
    const std::int32_t countBefore = stats.allocationCount.load();
    const std::int64_t inUseBefore = stats.bytesInUse.load();
    // Run up to just before a multiple of 100000, then 100000 more across four threads.
    while (stats.allocationCount.load() % 100000 != 99999) {
        memory.release(memory.allocate(1));
    }
    const std::int32_t compactionsBefore = stats.compactions.load();
    const std::int32_t countStart = stats.allocationCount.load();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&memory] {
            for (int i = 0; i < 25000; ++i) {
                memory.release(memory.allocate(static_cast<std::size_t>(i % 50 + 1)));
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
