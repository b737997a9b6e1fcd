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
// guardedRealloc retries a failed allocation after compacting the heap; a request whose
// capacity cannot be held in the 32-bit header, or one that still fails after many attempts,
// throws std::bad_alloc instead of waiting forever.
void* guardedRealloc(void* block, std::size_t size);
inline void* guardedAlloc(std::size_t size) {
    return guardedRealloc(nullptr, size);
}
void guardedFree(void* block);
// Capacity of a block handed out by guardedRealloc (0 for none).
std::uint32_t guardedCapacity(const void* block);

// Counters of the allocator, kept for inspection only.
struct GuardedAllocStats {
    std::atomic<std::int32_t> allocationCount{0};  // fresh allocations so far
    std::atomic<std::int64_t> bytesInUse{0};       // sum of the capacities of live blocks
    std::atomic<bool> guardDamaged{false};         // a guard was found overwritten
    std::atomic<std::int32_t> compactions{0};      // times the heap was asked to compact
};
GuardedAllocStats& guardedAllocStats();

}  // namespace zr
