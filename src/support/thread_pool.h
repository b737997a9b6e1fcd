#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace zr {

// How parallelFor shares out a range.
struct ParallelOptions {
    // Items in a chunk (the last one may hold fewer); below 1 counts as 1. Chunks are handed out
    // in order to whichever thread is free, so a grain of 1 balances uneven items best and a
    // larger one saves per-chunk work.
    int grain = 1;
    // Most threads working on the range at once, the caller included; 0 or less: every worker
    // of the pool and the caller.
    int maxThreads = 0;
};

// Worker threads created once and kept until the pool goes, which waits for a task being run,
// drops the tasks still queued and joins every thread.
//
// parallelFor(begin, end, body) runs body over [begin, end) on the calling thread and on the
// workers. The caller always takes part and waits only for chunks that another thread has
// begun, so nested calls (a body that calls parallelFor again) cannot deadlock, and any number
// of threads may call at once. The body takes a chunk as (chunkBegin, chunkEnd) or a single
// item as (index). When a body throws, no chunk begins after that, and the first exception is
// thrown to the caller once every chunk already begun has ended. A range that only one thread
// works on is handed to the body in one call; an empty range calls nothing.
//
//   parallelFor(0, height, [&](int rowBegin, int rowEnd) { ... }, {.grain = 16});
class ThreadPool {
  public:
    // `workerCount` threads besides the callers. Threads the system refuses to start are done
    // without: a pool without workers runs everything on its callers.
    explicit ThreadPool(int workerCount);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int workerCount() const { return static_cast<int>(workers_.size()); }

    template <typename Body>
    void parallelFor(int begin, int end, Body&& body, ParallelOptions options = {}) {
        auto* target = std::addressof(body);
        forChunks(begin, end, options, const_cast<void*>(static_cast<const void*>(target)),
                  [](void* erased, int chunkBegin, int chunkEnd) {
                      auto& call = *static_cast<std::remove_reference_t<Body>*>(erased);
                      if constexpr (std::is_invocable_v<decltype(call), int, int>) {
                          call(chunkBegin, chunkEnd);
                      } else {
                          for (int i = chunkBegin; i < chunkEnd; ++i) {
                              call(i);
                          }
                      }
                  });
    }

    // Runs body over [begin, end) on the calling thread alone, as parallelFor does.
    template <typename Body>
    static void runAlone(int begin, int end, Body& body) {
        if (end <= begin) {
            return;
        }
        if constexpr (std::is_invocable_v<Body&, int, int>) {
            body(begin, end);
        } else {
            for (int i = begin; i < end; ++i) {
                body(i);
            }
        }
    }

    // Runs `task` on a worker some time later, in the order posted. An exception leaving the
    // task is dropped. Tasks still queued when the pool goes are not run: a task that must run
    // belongs to a caller that waits for it (WorkerPool takes back a task no worker has begun).
    void post(std::function<void()> task);

  private:
    using ChunkFunction = void (*)(void* body, int chunkBegin, int chunkEnd);

    void forChunks(int begin, int end, ParallelOptions options, void* body, ChunkFunction call);
    void workerMain();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;  // guarded by mutex_
    bool stopping_ = false;                    // guarded by mutex_
    std::vector<std::thread> workers_;
};

// The threads a piece of work may use: up to `count` threads of a pool, the caller included.
// A share without a pool runs everything on the caller. Programs make one pool for the threads
// their budget allows and hand shares of it to what they call.
//
//   ThreadPool pool(budget.threads - 1);
//   const ThreadShare threads(pool, budget.threads);
//   threads.parallelFor(0, height, [&](int rowBegin, int rowEnd) { ... }, 16);
class ThreadShare {
  public:
    ThreadShare() = default;
    ThreadShare(ThreadPool& pool, int count) : pool_(&pool), count_(std::max(count, 1)) {}

    ThreadPool* pool() const { return pool_; }
    int count() const { return pool_ == nullptr ? 1 : count_; }
    // The same pool, at most `limit` threads of it.
    ThreadShare atMost(int limit) const {
        ThreadShare share = *this;
        share.count_ = std::clamp(limit, 1, count_);
        return share;
    }

    template <typename Body>
    void parallelFor(int begin, int end, Body&& body, int grain = 1) const {
        if (pool_ == nullptr || count_ <= 1) {
            ThreadPool::runAlone(begin, end, body);
            return;
        }
        pool_->parallelFor(begin, end, std::forward<Body>(body),
                           {.grain = grain, .maxThreads = count_});
    }

  private:
    ThreadPool* pool_ = nullptr;
    int count_ = 1;
};

}  // namespace zr
