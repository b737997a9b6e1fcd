#include "support/guarded_alloc.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zr {

namespace {

// Block layout, from the address malloc returns:
//   [12 unused bytes][capacity: 4 bytes][data: capacity bytes]["AA"][6 tail bytes]
constexpr std::size_t kLeadBytes = 16;
constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kGuardBytes = 2;
constexpr std::size_t kTailBytes = 6;
constexpr std::size_t kOverheadBytes = kLeadBytes + kGuardBytes + kTailBytes;
constexpr unsigned char kGuardByte = 0x41;

constexpr std::size_t kMaxCapacity = UINT32_MAX - kOverheadBytes;
// Blocks above 100000000 bytes would deserve a warning beep when they grow; there is no
// portable beep, so they grow silently.
constexpr std::int32_t kCompactEvery = 100000;
// A failed allocation is retried after compacting; after this many attempts (about two
// seconds with the pauses) memory is taken to be exhausted for good.
constexpr int kMaxAttempts = 200;

unsigned char* headerOf(void* data) {
    return static_cast<unsigned char*>(data) - kHeaderBytes;
}
const unsigned char* headerOf(const void* data) {
    return static_cast<const unsigned char*>(data) - kHeaderBytes;
}
void* baseOf(void* data) {
    return static_cast<unsigned char*>(data) - kLeadBytes;
}

std::uint32_t readCapacity(const void* data) {
    std::uint32_t capacity = 0;
    std::memcpy(&capacity, headerOf(data), sizeof capacity);
    return capacity;
}

bool guardIntact(const void* data, std::uint32_t capacity) {
    const auto* guard = static_cast<const unsigned char*>(data) + capacity;
    return guard[0] == kGuardByte && guard[1] == kGuardByte;
}

// The capacity a block grows to when `size` bytes are asked of it.
std::size_t grownCapacity(std::size_t size) {
    const std::size_t factor = size <= 1024 ? 4 : 2;
    return size > kMaxCapacity / factor ? kMaxCapacity : size * factor;
}

}  // namespace

void GuardedAllocator::takeCounts(GuardedAllocator& other) noexcept {
    stats_.allocationCount += other.stats_.allocationCount.exchange(0);
    stats_.bytesInUse += other.stats_.bytesInUse.exchange(0);
    stats_.compactions += other.stats_.compactions.exchange(0);
    if (other.stats_.guardDamaged.exchange(false)) {
        stats_.guardDamaged = true;
    }
}

void GuardedAllocator::compactHeap() {
    stats_.compactions.fetch_add(1, std::memory_order_relaxed);
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Stamps the header and the guard of freshly allocated memory; returns the data address.
void* GuardedAllocator::finishBlock(void* base, std::uint32_t capacity) {
    auto* data = static_cast<unsigned char*>(base) + kLeadBytes;
    std::memcpy(headerOf(data), &capacity, sizeof capacity);
    data[capacity] = kGuardByte;
    data[capacity + 1] = kGuardByte;
    stats_.bytesInUse.fetch_add(capacity, std::memory_order_relaxed);
    return data;
}

std::uint32_t guardedCapacity(const void* block) {
    return block == nullptr ? 0 : readCapacity(block);
}

void* GuardedAllocator::reallocate(void* block, std::size_t size) {
    if (size > kMaxCapacity) {
        throw std::bad_alloc();
    }
    // The count this call compares with the compaction period: the one its own fresh block
    // made, so that exactly one of several threads sees each multiple of the period.
    std::int32_t count = 0;
    bool counted = false;
    for (int attempt = 0;; ++attempt) {
        void* result = nullptr;
        if (block != nullptr) {
            const std::uint32_t capacity = readCapacity(block);
            if (!guardIntact(block, capacity)) {
                stats_.guardDamaged.store(true, std::memory_order_relaxed);
            }
            if (capacity >= size) {
                return block;
            }
            const std::size_t newCapacity = grownCapacity(size);
            void* base = std::malloc(newCapacity + kOverheadBytes);
            if (base != nullptr) {
                result = finishBlock(base, static_cast<std::uint32_t>(newCapacity));
                std::memcpy(result, block, capacity);
                std::free(baseOf(block));
                stats_.bytesInUse.fetch_sub(capacity, std::memory_order_relaxed);
            }
        } else {
            if (!counted) {
                // Counted once per call, however often the allocation is retried.
                const std::int32_t before =
                    stats_.allocationCount.fetch_add(1, std::memory_order_relaxed);
                count = static_cast<std::int32_t>(static_cast<std::uint32_t>(before) + 1u);
                counted = true;
            }
            void* base = std::malloc(size + kOverheadBytes);
            if (base != nullptr) {
                result = finishBlock(base, static_cast<std::uint32_t>(size));
            }
        }
        if (result != nullptr) {
            if (!counted) {
                count = stats_.allocationCount.load(std::memory_order_relaxed);
            }
            if (count % kCompactEvery == 0) {
                compactHeap();
            }
            return result;
        }
        compactHeap();
        if (attempt + 1 >= kMaxAttempts) {
            throw std::bad_alloc();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void GuardedAllocator::release(void* block) {
    if (block == nullptr) {
        return;
    }
    const std::uint32_t capacity = readCapacity(block);
    if (!guardIntact(block, capacity)) {
        stats_.guardDamaged.store(true, std::memory_order_relaxed);
    }
    stats_.bytesInUse.fetch_sub(capacity, std::memory_order_relaxed);
    std::free(baseOf(block));
}

}  // namespace zr
