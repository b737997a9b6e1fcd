#include "support/worker_pool.h"

#include "support/thread_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zr {
namespace {

using Events = std::vector<std::string>;
using namespace std::chrono_literals;

// The pool the jobs run on: three workers besides the driving thread.
ThreadShare testThreads() {
    static ThreadPool pool(3);
    return ThreadShare(pool, 4);
}

TEST(WorkerPool, EmptyRunOnlyCallsTheFinalCallback) {
    WorkerPool pool(testThreads());
    pool.init(4, WorkerPool::kWaitForever, 0);
    int finalCalls = 0;
    pool.finalCallback = [&finalCalls] { ++finalCalls; };
    EXPECT_EQ(pool.run(), 1);
    EXPECT_EQ(finalCalls, 1);
    pool.init(4, WorkerPool::kWaitForever, 0);  // init drops the final callback
    pool.run();
    EXPECT_EQ(finalCalls, 1);
}

TEST(WorkerPool, LaterJobsStartOnlyAsEarlierOnesAreWaitedFor) {
    std::mutex mutex;
    Events events;
    const auto log = [&](std::string event) {
        const std::lock_guard lock(mutex);
        events.push_back(std::move(event));
    };
    std::atomic<bool> job1Finished{false};
    std::size_t eventsWhenJob0Ended = 0;
    const auto drivingThread = std::this_thread::get_id();
    bool callbacksOnDrivingThread = true;

    WorkerPool pool(testThreads());
    pool.init(2, WorkerPool::kWaitForever, 0);
    for (int i = 0; i < 5; ++i) {
        const auto job = [&, i] {
            log("start " + std::to_string(i));
            job1Finished = job1Finished || i == 1;
            while (i == 0 && !job1Finished) {
                std::this_thread::yield();  // job 0 ends after job 1 but is waited for first
            }
            if (i == 0) {
                const std::lock_guard lock(mutex);
                eventsWhenJob0Ended = events.size();
            }
            return 0;
        };
        EXPECT_EQ(pool.addJob(job,
                              [&, i] {
                                  callbacksOnDrivingThread &=
                                      std::this_thread::get_id() == drivingThread;
                                  log("done " + std::to_string(i));
                              }),
                  i + 1);
    }
    pool.finalCallback = [&] { log("final"); };
    pool.run();

    EXPECT_TRUE(callbacksOnDrivingThread);
    EXPECT_EQ(eventsWhenJob0Ended, 2u);  // only jobs 0 and 1 had started
    // Completions follow the order of adding, and each wait lets one more job start.
    const auto at = [&events](const std::string& event) {
        return std::find(events.begin(), events.end(), event) - events.begin();
    };
    for (int i = 0; i < 5; ++i) {
        EXPECT_LT(at("done " + std::to_string(i)),
                  at(i < 4 ? "done " + std::to_string(i + 1) : "final"));
        if (i >= 2) {
            EXPECT_GT(at("start " + std::to_string(i)), at("done " + std::to_string(i - 2)));
        }
    }
    EXPECT_EQ(pool.count(), 5);
    pool.clear();
    EXPECT_EQ(pool.count(), 0);
}

TEST(WorkerPool, ThrowingJobsStillFinishAndOthersAreUnaffected) {
    std::vector<int> results(6, -1);
    std::vector<int> completions;
    WorkerPool pool(testThreads());
    pool.init(0, WorkerPool::kWaitForever, 0);  // a limit below 1 counts as 1
    for (int i = 0; i < 6; ++i) {
        pool.addJob(
            [&results, i]() -> int {
                results[i] = i;
                if (i == 1) {
                    throw std::runtime_error("bad key frame");
                }
                return i == 4 ? throw 42 : 0;
            },
            [&completions, i] { completions.push_back(i); });
    }
    pool.addJob(nullptr);  // an empty job throws when called; it still counts as finished
    pool.run();
    EXPECT_EQ(results, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(completions, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(WorkerPool, TimedOutJobIsAbandonedAndEndsBeforeRunReturns) {
    std::atomic<bool> sawAbandoned{false};
    std::atomic<bool> slowJobEnded{false};
    Events order;
    WorkerPool pool(testThreads());
    pool.init(2, 30, 0);
    pool.addJob(
        [&] {  // cooperative: returns once nobody waits for it
            const auto giveUp = std::chrono::steady_clock::now() + 20s;
            while (!WorkerPool::jobAbandoned() && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(1ms);
            }
            sawAbandoned = WorkerPool::jobAbandoned();
            return 0;
        },
        [&order] { order.push_back("cooperative"); });
    pool.addJob(
        [&] {  // ignores the flag and writes its result late
            std::this_thread::sleep_for(150ms);
            slowJobEnded = true;
            return 0;
        },
        [&order] { order.push_back("slow"); });
    pool.addJob([] { return 0; }, [&order] { order.push_back("quick"); });
    pool.finalCallback = [&] { order.push_back(slowJobEnded ? "final, slow ended" : "final"); };
    pool.run();
    EXPECT_TRUE(sawAbandoned.load());
    EXPECT_FALSE(WorkerPool::jobAbandoned());  // not inside a job
    EXPECT_EQ(order, (Events{"cooperative", "slow", "quick", "final, slow ended"}));
}

TEST(WorkerPool, ThrowingCallbackLeavesNoJobRunning) {
    std::atomic<int> ended{0};
    WorkerPool pool(testThreads());
    pool.init(4, WorkerPool::kWaitForever, 0);
    for (int i = 0; i < 4; ++i) {
        pool.addJob(
            [&ended] {
                std::this_thread::sleep_for(20ms);
                return ++ended;
            },
            [] { throw std::runtime_error("callback failed"); });
    }
    EXPECT_THROW(pool.run(), std::runtime_error);
    EXPECT_EQ(ended.load(), 4);
}

TEST(WorkerPool, WithoutAPoolEveryJobRunsOnTheDrivingThreadEvenWithATimeOut) {
    for (const std::int64_t timeout : {WorkerPool::kWaitForever, std::int64_t{5}}) {
        std::vector<std::thread::id> ranOn;
        WorkerPool pool{ThreadShare()};
        pool.init(3, timeout, 0);
        for (int i = 0; i < 4; ++i) {
            pool.addJob([&ranOn] {
                ranOn.push_back(std::this_thread::get_id());
                return 0;
            });
        }
        pool.run();
        EXPECT_EQ(ranOn, std::vector<std::thread::id>(4, std::this_thread::get_id()));
    }
}

}  // namespace
}  // namespace zr
