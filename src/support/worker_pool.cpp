#include "support/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "support/thread_pool.h"

namespace zr {

namespace {

constexpr std::int64_t kAllBitsSet = 0xFFFFFFFF;

// The abandonment flag of the job the current thread runs, if any.
thread_local const std::atomic<bool>* currentAbandonedFlag = nullptr;

void sleepMs(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace

// One added job. Once started, exactly one thread claims it: a worker of the pool, or the
// driving thread, which runs it itself or, after a time-out, drops it unrun. The claiming
// thread alone touches `work`; `ended`, its signal and the abandonment flag are shared.
struct WorkerPool::WorkerJob {
    std::function<int()> work;
    std::function<void()> completion;
    std::atomic<bool> claimed{false};
    std::atomic<bool> abandoned{false};
    std::mutex mutex;
    std::condition_variable endSignal;
    bool ended = false;  // guarded by `mutex`

    bool claim() { return !claimed.exchange(true); }

    // Runs the job and signals its end, whatever the job does.
    void execute() {
        const std::atomic<bool>* outerFlag = currentAbandonedFlag;  // a job run inside a job
        currentAbandonedFlag = &abandoned;
        try {
            work();
        } catch (...) {
            // A failed job counts as finished; whatever it wrote before failing stays.
        }
        currentAbandonedFlag = outerFlag;
        signalEnd();
    }

    void signalEnd() {
        {
            const std::lock_guard lock(mutex);
            ended = true;
        }
        endSignal.notify_all();
    }

    bool hasEnded() {
        const std::lock_guard lock(mutex);
        return ended;
    }

    void waitForEnd() {
        std::unique_lock lock(mutex);
        endSignal.wait(lock, [this] { return ended; });
    }

    // False when the time-out passed first.
    bool waitForEnd(std::int64_t timeoutMs) {
        std::unique_lock lock(mutex);
        return endSignal.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [this] { return ended; });
    }
};

WorkerPool::WorkerPool(const ThreadShare& threads) : threads_(threads.pool()) {}

WorkerPool::~WorkerPool() {
    clear();
}

void WorkerPool::init(int maxThreads, std::int64_t waitTimeoutMs, int firstPauseMs) {
    clear();
    maxThreads_ = maxThreads < 1 ? 1 : maxThreads;
    waitTimeoutMs_ =
        waitTimeoutMs < 0 || waitTimeoutMs >= kAllBitsSet ? kWaitForever : waitTimeoutMs;
    firstPauseMs_ = firstPauseMs;
    finalCallback = nullptr;
}

int WorkerPool::addJob(std::function<int()> job, std::function<void()> completion) {
    auto record = std::make_shared<WorkerJob>();
    record->work = std::move(job);
    record->completion = std::move(completion);
    jobs_.push_back(std::move(record));
    return count();
}

void WorkerPool::clear() {
    // No job runs outside run(). A task still queued for a job holds only the claim flag, so
    // the caller's functions go now rather than with the task.
    for (const auto& job : jobs_) {
        job->work = nullptr;
        job->completion = nullptr;
    }
    jobs_.clear();
}

bool WorkerPool::jobAbandoned() {
    return currentAbandonedFlag != nullptr && currentAbandonedFlag->load();
}

void WorkerPool::startJob(int index, int pauseMs) {
    if (threads_ == nullptr) {
        return;  // the driving thread runs it when it waits for it
    }
    threads_->post([job = jobs_[static_cast<std::size_t>(index)]] {
        if (job->claim()) {
            job->execute();
        }
    });
    sleepMs(pauseMs);
}

// Waits for job `index` to end; jobs before `started` have been started.
void WorkerPool::waitForJob(int index, int started) {
    WorkerJob& job = *jobs_[static_cast<std::size_t>(index)];
    if (threads_ == nullptr && job.claim()) {
        job.execute();
        return;
    }
    if (waitTimeoutMs_ != kWaitForever) {
        if (!job.waitForEnd(waitTimeoutMs_)) {
            if (job.claim()) {
                job.signalEnd();  // no worker began it: it is dropped unrun
            } else {
                // A job cannot be ended from outside. It is told that nobody waits for it any
                // more (jobAbandoned) and the run goes on without it; run() still waits for it
                // before returning, so it never outlives the caller's records.
                job.abandoned = true;
            }
        }
        return;
    }
    for (;;) {
        if (job.claim()) {
            job.execute();
            return;
        }
        if (job.hasEnded()) {
            return;
        }
        // Rather than wait idle, run a later started job that no worker has begun.
        bool helped = false;
        for (int later = index + 1; later < started && !helped; ++later) {
            WorkerJob& other = *jobs_[static_cast<std::size_t>(later)];
            if (other.claim()) {
                other.execute();
                helped = true;
            }
        }
        if (!helped) {
            job.waitForEnd();
            return;
        }
    }
}

// Asks every started job to give up and waits until each has ended; a started job that no
// worker has begun runs here, seeing itself abandoned.
void WorkerPool::finishAllStarted(int started) {
    for (const auto& job : jobs_) {
        job->abandoned = true;
    }
    for (int i = 0; i < started; ++i) {
        WorkerJob& job = *jobs_[static_cast<std::size_t>(i)];
        if (job.claim()) {
            job.execute();
        }
        job.waitForEnd();
    }
}

int WorkerPool::run() {
    const int jobCount = count();
    int next = 0;
    try {
        while (next < jobCount && next < maxThreads_) {
            startJob(next, firstPauseMs_);
            ++next;
        }
        for (int waited = 0; waited < jobCount; ++waited) {
            waitForJob(waited, next);
            WorkerJob& job = *jobs_[static_cast<std::size_t>(waited)];
            if (job.completion) {
                job.completion();
            }
            if (next < jobCount) {
                startJob(next, 0);
                ++next;
            }
        }
        finishAllStarted(next);
    } catch (...) {
        finishAllStarted(next);
        throw;
    }
    if (finalCallback) {
        finalCallback();
    }
    return 1;
}

}  // namespace zr
