#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zr {

// Guarded blocks: every block carries a 4-byte capacity header right before the caller's data
// and the guard bytes "AA" right after it, followed by 6 unwritten tail bytes. The header sits
// at the end of a 16-byte lead so that the data keeps the alignment malloc gives (pointers,
// integers and doubles may be stored in a block): a block of capacity c takes c + 24 bytes.
// Blocks grow (x4 of the request up to 1024 bytes, x2 above) and never shrink.
//
// reallocate() retries a failed allocation after compacting the heap; a request whose
// capacity cannot be held in the 32-bit header, or one that still fails after many attempts,
// throws std::bad_alloc instead of waiting forever.

// Capacity of a guarded block (0 for none).
std::uint32_t guardedCapacity(const void* block);

// Counters of an allocator, kept for inspection only.
struct GuardedAllocStats {
    std::atomic<std::int32_t> allocationCount{0};  // fresh allocations so far
    std::atomic<std::int64_t> bytesInUse{0};       // sum of the capacities of live blocks
    std::atomic<bool> guardDamaged{false};         // a guard was found overwritten
    std::atomic<std::int32_t> compactions{0};      // times the heap was asked to compact
};

// Hands out guarded blocks and counts them; the heap is compacted after every 100000th fresh
// block it makes. Whoever owns blocks owns the allocator they came from: a block goes back to
// the allocator that made (or last grew) it, and moving an allocator moves its counts along with
// the blocks. Any number of threads may use one allocator at once.
class GuardedAllocator {
  public:
    GuardedAllocator() = default;
    GuardedAllocator(GuardedAllocator&& other) noexcept { takeCounts(other); }
    GuardedAllocator& operator=(GuardedAllocator&& other) noexcept {
        if (this != &other) {
            takeCounts(other);
        }
        return *this;
    }
    GuardedAllocator(const GuardedAllocator&) = delete;
    GuardedAllocator& operator=(const GuardedAllocator&) = delete;

    // A block of at least `size` bytes holding the bytes of `block` (null: a fresh one).
    void* reallocate(void* block, std::size_t size);
    void* allocate(std::size_t size) { return reallocate(nullptr, size); }
    void release(void* block);

    const GuardedAllocStats& stats() const { return stats_; }
    // Reads and clears the damaged-guard flag.
    bool takeGuardDamaged() { return stats_.guardDamaged.exchange(false); }

  private:
    // Adds the counts of `other` to these (its blocks are this allocator's now) and clears them.
    void takeCounts(GuardedAllocator& other) noexcept;
    void compactHeap();
    void* finishBlock(void* base, std::uint32_t capacity);

    GuardedAllocStats stats_;
};

}  // namespace zr
