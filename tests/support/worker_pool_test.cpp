#include "support/worker_pool.h"

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

// A log of events from several threads.
class EventLog {
  public:
    void add(std::string event) {
        const std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::vector<std::string> events() const {
        const std::lock_guard lock(mutex_);
        return events_;
    }
    // Position of an event, or -1.
    int position(const std::string& event) const {
        const auto all = events();
        const auto found = std::find(all.begin(), all.end(), event);
        return found == all.end() ? -1 : static_cast<int>(found - all.begin());
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

TEST(WorkerPool, EmptyRunOnlyCallsTheFinalCallback) {
    WorkerPool pool;
    pool.init(4, WorkerPool::kWaitForever, 0);
    int finalCalls = 0;
    pool.finalCallback = [&finalCalls] { ++finalCalls; };
    EXPECT_EQ(pool.run(), 1);
    EXPECT_EQ(finalCalls, 1);
    pool.init(4, WorkerPool::kWaitForever, 0);  // init drops the final callback
    EXPECT_EQ(pool.run(), 1);
    EXPECT_EQ(finalCalls, 1);
}

TEST(WorkerPool, LaterJobsStartOnlyAsEarlierOnesAreWaitedFor) {
    EventLog log;
    std::atomic<bool> job1Finished{false};
    const auto drivingThread = std::this_thread::get_id();
    bool callbacksOnDrivingThread = true;
    std::vector<std::string> startedWhenJob0Ended;

    WorkerPool pool;
    pool.init(2, WorkerPool::kWaitForever, 0);
    for (int i = 0; i < 5; ++i) {
        const auto job = [&, i] {
            log.add("start " + std::to_string(i));
            if (i == 1) {
                job1Finished = true;
            }
            if (i == 0) {
                // Job 0 ends only after job 1 has ended, yet job 0 is waited for first.
                while (!job1Finished) {
                    std::this_thread::yield();
                }
                startedWhenJob0Ended = log.events();
            }
            return 0;
        };
        const auto completion = [&, i] {
            callbacksOnDrivingThread &= std::this_thread::get_id() == drivingThread;
            log.add("done " + std::to_string(i));
        };
        EXPECT_EQ(pool.addJob(job, completion), i + 1);
    }
    pool.finalCallback = [&log] { log.add("final"); };
    EXPECT_EQ(pool.run(), 1);

    EXPECT_TRUE(callbacksOnDrivingThread);
    EXPECT_EQ(startedWhenJob0Ended.size(), 2u);  // jobs 0 and 1 only
    std::vector<std::string> completions;
    for (const auto& event : log.events()) {
        if (event.starts_with("done")) {
            completions.push_back(event);
        }
    }
    // In the order of adding, although job 1 finished before job 0.
    EXPECT_EQ(completions,
              (std::vector<std::string>{"done 0", "done 1", "done 2", "done 3", "done 4"}));
    for (int i = 2; i < 5; ++i) {
        EXPECT_GT(log.position("start " + std::to_string(i)),
                  log.position("done " + std::to_string(i - 2)))
            << "job " << i << " starts after job " << i - 2 << " was waited for";
    }
    EXPECT_EQ(log.events().back(), "final");
    EXPECT_EQ(pool.count(), 5);
    pool.clear();
    EXPECT_EQ(pool.count(), 0);
}

TEST(WorkerPool, ThrowingJobsStillFinishAndOthersAreUnaffected) {
    std::vector<int> results(6, -1);
    std::vector<int> completions;
    WorkerPool pool;
    pool.init(3, WorkerPool::kWaitForever, 0);
    for (int i = 0; i < 6; ++i) {
        pool.addJob(
            [&results, i]() -> int {
                results[i] = i;
                if (i == 1) {
                    throw std::runtime_error("bad key frame");
                }
                if (i == 4) {
                    throw 42;
                }
                return 0;
            },
            [&completions, i] { completions.push_back(i); });
    }
    pool.addJob(nullptr);  // an empty job throws when called; it still counts as finished
    EXPECT_EQ(pool.run(), 1);
    EXPECT_EQ(results, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(completions, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(WorkerPool, NeverMoreJobsRunningThanTheLimit) {
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    std::atomic<int> ran{0};
    WorkerPool pool;
    pool.init(3, WorkerPool::kWaitForever, 0);
    for (int i = 0; i < 40; ++i) {
        pool.addJob([&] {
            const int now = ++running;
            int seen = mostRunning.load();
            while (now > seen && !mostRunning.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            --running;
            ++ran;
            return 0;
        });
    }
    pool.run();
    EXPECT_EQ(ran.load(), 40);
    EXPECT_LE(mostRunning.load(), 3);
    EXPECT_GE(mostRunning.load(), 1);
}

TEST(WorkerPool, LimitBelowOneCountsAsOne) {
    int ran = 0;
    WorkerPool pool;
    pool.init(0, WorkerPool::kWaitForever, 0);
    pool.addJob([&ran] { return ++ran; });
    pool.addJob([&ran] { return ++ran; });
    pool.run();
    EXPECT_EQ(ran, 2);
}

TEST(WorkerPool, TimedOutJobIsAbandonedAndEndsBeforeRunReturns) {
    std::atomic<bool> sawAbandoned{false};
    std::atomic<bool> slowJobEnded{false};
    std::vector<std::string> order;
    WorkerPool pool;
    pool.init(2, 30, 0);
    // Cooperative: returns as soon as it learns that nobody waits for it.
    pool.addJob(
        [&] {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!WorkerPool::jobAbandoned() && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            sawAbandoned = WorkerPool::jobAbandoned();
            return 0;
        },
        [&order] { order.push_back("cooperative"); });
    // Uncooperative: ignores the flag and writes its result late.
    pool.addJob(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            slowJobEnded = true;
            return 0;
        },
        [&order] { order.push_back("slow"); });
    pool.addJob([] { return 0; }, [&order] { order.push_back("quick"); });
    pool.finalCallback = [&] { order.push_back(slowJobEnded ? "final after slow" : "final"); };
    pool.run();
    EXPECT_TRUE(sawAbandoned.load());
    EXPECT_TRUE(slowJobEnded.load());
    EXPECT_FALSE(WorkerPool::jobAbandoned());  // not inside a job
    EXPECT_EQ(order,
              (std::vector<std::string>{"cooperative", "slow", "quick", "final after slow"}));
}

TEST(WorkerPool, ThrowingCallbackLeavesNoJobRunning) {
    std::atomic<int> ended{0};
    WorkerPool pool;
    pool.init(4, WorkerPool::kWaitForever, 0);
    for (int i = 0; i < 4; ++i) {
        pool.addJob(
            [&ended] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ++ended;
                return 0;
            },
            [] { throw std::runtime_error("callback failed"); });
    }
    EXPECT_THROW(pool.run(), std::runtime_error);
    EXPECT_EQ(ended.load(), 4);  // every started job has ended
}

}  // namespace
}  // namespace zr
