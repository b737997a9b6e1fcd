#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zr {

// Guarded blocks: every block carries a 4-byte capacity header before the caller's data and
// the guard bytes "AA" after it (plus 6 unwritten tail bytes), so a block of capacity c takes
// c + 12 bytes. Blocks grow (x4 up to 1024 bytes, x2 above) and never shrink.
void* guardedRealloc(void* block, std::size_t size);
inline void* guardedAlloc(std::size_t size) { return guardedRealloc(nullptr, size); }
void guardedFree(void* block);
// Capacity of a block handed out by guardedRealloc (0 for none).
std::uint32_t guardedCapacity(const void* block);

// Counters of the allocator, kept for inspection only.
struct GuardedAllocStats {
    std::atomic<std::int32_t> allocationCount{0};  // fresh allocations so far
    std::atomic<std::int64_t> bytesInUse{0};       // sum of the capacities of live blocks
    std::atomic<bool> guardDamaged{false};         // a guard was found overwritten
};
GuardedAllocStats& guardedAllocStats();

}  // namespace zr
