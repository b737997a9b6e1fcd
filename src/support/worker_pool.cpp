#include "support/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace zr {

namespace {

constexpr int kRetryPauseMs = 20;
// A thread that cannot be created is retried every 20 ms; after this many attempts (about two
// seconds) the job runs on the driving thread instead, so that the run never hangs.
constexpr int kMaxStartAttempts = 100;
constexpr std::int64_t kAllBitsSet = 0xFFFFFFFF;

// The abandonment flag of the job the current thread runs, if any.
thread_local const std::atomic<bool>* currentAbandonedFlag = nullptr;

void sleepMs(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace

// One added job. Its thread reads `work`, the done flag and the abandonment flag; everything
// else belongs to the driving thread. The thread is always joined before the record goes.
struct WorkerPool::WorkerJob {
    std::function<int()> work;
    std::function<void()> completion;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable doneSignal;
    bool done = false;  // guarded by `mutex`
    std::atomic<bool> abandoned{false};

    ~WorkerJob() {
        if (thread.joinable()) {
            abandoned = true;
            thread.join();
        }
    }

    // Runs the job and gives the done signal, whatever the job does.
    void execute() {
        currentAbandonedFlag = &abandoned;
        try {
            work();
        } catch (...) {
            // A failed job counts as finished; whatever it wrote before failing stays.
        }
        currentAbandonedFlag = nullptr;
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        doneSignal.notify_one();
    }
};

WorkerPool::WorkerPool() = default;

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
    auto record = std::make_unique<WorkerJob>();
    record->work = std::move(job);
    record->completion = std::move(completion);
    jobs_.push_back(std::move(record));
    return count();
}

void WorkerPool::clear() {
    jobs_.clear();
}

bool WorkerPool::jobAbandoned() {
    return currentAbandonedFlag != nullptr && currentAbandonedFlag->load();
}

void WorkerPool::startJob(WorkerJob& job, int pauseMs) {
    for (int attempt = 0; attempt < kMaxStartAttempts; ++attempt) {
        try {
            job.thread = std::thread([&job] { job.execute(); });
            sleepMs(pauseMs);
            return;
        } catch (const std::system_error&) {
            sleepMs(kRetryPauseMs);
        }
    }
    job.execute();
}

// Waits for the job's done signal; false when the time-out passed first.
bool WorkerPool::waitForJob(WorkerJob& job) const {
    std::unique_lock lock(job.mutex);
    if (waitTimeoutMs_ == kWaitForever) {
        job.doneSignal.wait(lock, [&job] { return job.done; });
        return true;
    }
    return job.doneSignal.wait_for(lock, std::chrono::milliseconds(waitTimeoutMs_),
                                   [&job] { return job.done; });
}

// Asks every started job to give up and waits until their threads have ended.
void WorkerPool::finishAllStarted() {
    for (const auto& job : jobs_) {
        job->abandoned = true;
    }
    for (const auto& job : jobs_) {
        if (job->thread.joinable()) {
            job->thread.join();
        }
    }
}

int WorkerPool::run() {
    const int jobCount = count();
    try {
        int next = 0;
        while (next < jobCount && next < maxThreads_) {
            startJob(*jobs_[next], firstPauseMs_);
            ++next;
        }
        for (int waited = 0; waited < jobCount; ++waited) {
            WorkerJob& job = *jobs_[waited];
            if (waitForJob(job)) {
                if (job.thread.joinable()) {
                    job.thread.join();
                }
            } else {
                // A thread cannot be ended from outside. The job is told that nobody waits
                // for it any more (jobAbandoned) and the run goes on without it; its thread
                // is joined before run() returns, so it never outlives the caller's records.
                job.abandoned = true;
            }
            if (job.completion) {
                job.completion();
            }
            if (next < jobCount) {
                startJob(*jobs_[next], 0);
                ++next;
            }
        }
        finishAllStarted();
    } catch (...) {
        finishAllStarted();
        throw;
    }
    if (finalCallback) {
        finalCallback();
    }
    return 1;
}

}  // namespace zr
