#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zr {

class ThreadPool;
class ThreadShare;

// Runs independent jobs on the threads of a ThreadPool, driven by the caller's thread. run()
// starts up to `maxThreads` jobs, then waits for the jobs strictly in the order they were
// added; each job waited for lets one more job start. Completion callbacks and the final
// callback run on the driving thread. A job that throws counts as finished; its exception is
// dropped. While it waits without a time-out, the driving thread runs started jobs that no
// worker has begun yet, so jobs finish even when every worker is busy (or the pool has none).
// Jobs must not wait for one another.
//
//   WorkerPool pool(threads);
//   pool.init(jobCount, WorkerPool::kWaitForever, 0);
//   for (auto& record : records) pool.addJob([&record] { return work(record); });
//   pool.run();
//   pool.clear();
class WorkerPool {
  public:
    static constexpr std::int64_t kWaitForever = -1;

    // Runs its jobs on the pool of `threads`; a share without a pool runs them on the driving
    // thread, one after the other.
    explicit WorkerPool(const ThreadShare& threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // `maxThreads` below 1 counts as 1. A negative `waitTimeoutMs` (or 0xFFFFFFFF) waits
    // without limit; `firstPauseMs` is the pause after each of the first maxThreads starts.
    // With a time-out, a job that no worker has begun when its time is up is not run at all;
    // like a job that ran too long, its completion callback is still called.
    // Drops any jobs and the final callback left from before.
    void init(int maxThreads, std::int64_t waitTimeoutMs, int firstPauseMs);
    // Appends a job (not started yet); returns the number of jobs.
    int addJob(std::function<int()> job, std::function<void()> completion = {});
    // Runs every job as described above; returns 1. When it returns, no job is left running.
    // An exception thrown by a callback leaves run() only after every started job has ended.
    int run();
    // Deletes the job records; the destructor does the same.
    void clear();
    int count() const { return static_cast<int>(jobs_.size()); }

    // Within a job: true once the pool has stopped waiting for it (its time-out passed). A job
    // that may run long should check this now and then and return early when it is set.
    static bool jobAbandoned();

    // Called once on the driving thread when run() has handled every job.
    std::function<void()> finalCallback;

  private:
    struct WorkerJob;

    void startJob(int index, int pauseMs);
    void waitForJob(int index, int started);
    void finishAllStarted(int started);

    ThreadPool* threads_;  // null: jobs run on the driving thread
    // Shared with the tasks posted for them: a task may outlive its record's place here.
    std::vector<std::shared_ptr<WorkerJob>> jobs_;
    int maxThreads_ = 1;
    std::int64_t waitTimeoutMs_ = kWaitForever;
    int firstPauseMs_ = 0;
};

}  // namespace zr
