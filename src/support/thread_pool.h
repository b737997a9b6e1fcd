#pragma once

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

    // The process's pool: one worker fewer than the processor has hardware threads (at least
    // one), created on first use and joined when the program ends.
    static ThreadPool& shared();

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

// parallelFor on the process's pool.
template <typename Body>
void parallelFor(int begin, int end, Body&& body, ParallelOptions options = {}) {
    ThreadPool::shared().parallelFor(begin, end, std::forward<Body>(body), options);
}

}  // namespace zr
