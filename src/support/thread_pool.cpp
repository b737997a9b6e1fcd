#include "support/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <system_error>
#include <utility>

namespace zr {

namespace {

// One parallelFor call, shared by the caller and the helper tasks it posted. A helper that
// begins after every chunk was taken finds nothing to do and only drops its reference.
struct ChunkedRange {
    int begin = 0;
    int end = 0;
    int grain = 1;
    int chunkCount = 0;
    void* body = nullptr;
    void (*call)(void*, int, int) = nullptr;

    std::atomic<std::int64_t> nextChunk{0};  // helpers that come late take it past chunkCount
    std::atomic<int> endedChunks{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::condition_variable allEnded;
    std::exception_ptr firstError;  // guarded by mutex

    // Takes chunks until none is left. The body is only called for a chunk taken here, and the
    // caller does not return before every taken chunk has ended, so it is still alive.
    void work() {
        for (std::int64_t chunk = nextChunk++; chunk < chunkCount; chunk = nextChunk++) {
            if (!failed.load(std::memory_order_relaxed)) {
                const auto chunkBegin = static_cast<int>(begin + chunk * grain);
                const int chunkEnd =
                    static_cast<int>(std::min<std::int64_t>(std::int64_t{chunkBegin} + grain, end));
                try {
                    call(body, chunkBegin, chunkEnd);
                } catch (...) {
                    const std::lock_guard lock(mutex);
                    if (!firstError) {
                        firstError = std::current_exception();
                    }
                    failed = true;
                }
            }
            if (++endedChunks == chunkCount) {
                { const std::lock_guard lock(mutex); }
                allEnded.notify_all();
            }
        }
    }
};

}  // namespace

ThreadPool::ThreadPool(int workerCount) {
    workers_.reserve(static_cast<std::size_t>(std::max(workerCount, 0)));
    for (int i = 0; i < workerCount; ++i) {
        try {
            workers_.emplace_back([this] { workerMain(); });
        } catch (const std::system_error&) {
            break;  // the threads started so far do the work
        }
    }
}

ThreadPool::~ThreadPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void ThreadPool::post(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void ThreadPool::workerMain() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) {
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        try {
            task();
        } catch (...) {
            // Nobody waits for a posted task's result; the task reports through its own state.
        }
    }
}

void ThreadPool::forChunks(int begin, int end, ParallelOptions options, void* body,
                           ChunkFunction call) {
    if (end <= begin) {
        return;
    }
    const std::int64_t length = std::int64_t{end} - begin;
    const int grain = std::max(options.grain, 1);
    const auto chunkCount = static_cast<int>((length + grain - 1) / grain);
    const int threadLimit = options.maxThreads > 0 ? options.maxThreads : workerCount() + 1;
    const int helpers = std::min({threadLimit - 1, chunkCount - 1, workerCount()});
    if (helpers <= 0) {
        call(body, begin, end);
        return;
    }

    auto range = std::make_shared<ChunkedRange>();
    range->begin = begin;
    range->end = end;
    range->grain = grain;
    range->chunkCount = chunkCount;
    range->body = body;
    range->call = call;
    for (int i = 0; i < helpers; ++i) {
        post([range] { range->work(); });
    }
    range->work();
    std::unique_lock lock(range->mutex);
    range->allEnded.wait(lock,
                         [&range, chunkCount] { return range->endedChunks.load() == chunkCount; });
    if (range->firstError) {
        std::rethrow_exception(range->firstError);
    }
}

}  // namespace zr
