#include "support/thread_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/worker_pool.h"

namespace zr {
namespace {

using namespace std::chrono_literals;

TEST(ThreadPool, EveryItemOnceInChunksOfTheGrain) {
    struct Case {
        int begin;
        int end;
        int grain;
        int maxThreads;
        int workers;
    };
    const Case cases[] = {
        {0, 0, 1, 0, 3},       {5, 2, 1, 0, 3},     // empty and reversed ranges call nothing
        {0, 1, 1, 0, 3},       {0, 1000, 1, 0, 3},  // far more items than threads
        {-7, 93, 16, 0, 3},    {0, 100, 0, 2, 3},   // grain below 1 counts as 1
        {0, 100, 7, 1, 3},     {3, 50, 4, 0, 0},    // one thread: the whole range at once
        {0, 100000, 64, 3, 2},
    };
    for (const Case& c : cases) {
        ThreadPool pool(c.workers);
        const int length = std::max(c.end - c.begin, 0);
        std::vector<std::atomic<int>> seen(static_cast<std::size_t>(length));
        std::atomic<int> calls{0};
        std::atomic<bool> chunksFitTheGrain{true};
        pool.parallelFor(c.begin, c.end,
                         [&](int chunkBegin, int chunkEnd) {
                             ++calls;
                             const bool lastChunk = chunkEnd == c.end;
                             const int grain = std::max(c.grain, 1);
                             if (chunkEnd - chunkBegin > grain ||
                                 (!lastChunk && chunkEnd - chunkBegin < grain) ||
                                 (chunkBegin - c.begin) % grain != 0) {
                                 chunksFitTheGrain = false;
                             }
                             for (int i = chunkBegin; i < chunkEnd; ++i) {
                                 ++seen[static_cast<std::size_t>(i - c.begin)];
                             }
                         },
                         {.grain = c.grain, .maxThreads = c.maxThreads});
        const bool oneThread = c.maxThreads == 1 || c.workers == 0;
        SCOPED_TRACE(testing::Message() << c.begin << ".." << c.end << " grain " << c.grain);
        for (const auto& count : seen) {
            ASSERT_EQ(count.load(), 1);
        }
        if (length == 0) {
            EXPECT_EQ(calls.load(), 0);
        } else if (oneThread) {
            EXPECT_EQ(calls.load(), 1);
        } else {
            EXPECT_TRUE(chunksFitTheGrain.load());
        }
    }
}

TEST(ThreadPool, NestedUseAndJobsInsideBodiesFinish) {
    ThreadPool pool(2);
    std::vector<long> sums(16, 0);
    pool.parallelFor(0, 16, [&](int outer) {
        std::atomic<long> sum{0};
        pool.parallelFor(0, 1000, [&](int inner) { sum += inner; });
        // Jobs driven from inside a body, on the same busy pool.
        WorkerPool jobs(ThreadShare(pool, 1));
        jobs.init(4, WorkerPool::kWaitForever, 0);
        for (int j = 0; j < 6; ++j) {
            jobs.addJob([&sum, &pool, j] {
                pool.parallelFor(0, 10, [&](int k) { sum += j * k; });
                return 0;
            });
        }
        jobs.run();
        sums[static_cast<std::size_t>(outer)] = sum;
    });
    for (const long sum : sums) {
        EXPECT_EQ(sum, 499500 + 15 * 45);
    }
}

TEST(ThreadPool, ExceptionReachesTheCallerAfterEveryChunkHasStopped) {
    ThreadPool pool(3);
    for (const int grain : {1, 50}) {
        std::atomic<int> running{0};
        std::atomic<int> begun{0};
        int runningAtCatch = -1;
        try {
            pool.parallelFor(0, 10000,
                             [&](int chunkBegin, int) {
                                 ++running;
                                 ++begun;
                                 std::this_thread::sleep_for(100us);
                                 --running;
                                 if (chunkBegin >= 200) {
                                     throw std::runtime_error("item " + std::to_string(chunkBegin));
                                 }
                             },
                             {.grain = grain});
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error&) {
            runningAtCatch = running.load();
        }
        EXPECT_EQ(runningAtCatch, 0);
        EXPECT_LT(begun.load(), 10000 / grain);  // no chunk begins after the failure is seen
    }
}

TEST(ThreadPool, ManyConcurrentCallers) {
    ThreadPool pool(3);
    std::vector<std::thread> callers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t) {
        callers.emplace_back([&pool, &wrong, t] {
            for (int round = 0; round < 100; ++round) {
                std::vector<int> items(static_cast<std::size_t>(50 + t * round % 97));
                pool.parallelFor(0, static_cast<int>(items.size()),
                                 [&items](int i) { items[static_cast<std::size_t>(i)] = i; });
                for (std::size_t i = 0; i < items.size(); ++i) {
                    wrong += items[i] != static_cast<int>(i) ? 1 : 0;
                }
            }
        });
    }
    for (std::thread& caller : callers) {
        caller.join();
    }
    EXPECT_EQ(wrong.load(), 0);
}

TEST(WorkerPoolOnThreadPool, JobsRunWithoutFreeWorkersAndTimeOutUnrunOnlyWithATimeOut) {
    // A pool without workers: the driving thread runs every job.
    ThreadPool none(0);
    WorkerPool pool(ThreadShare(none, 1));
    pool.init(2, WorkerPool::kWaitForever, 0);
    std::vector<int> done;
    for (int i = 0; i < 5; ++i) {
        pool.addJob([&done, i] { return done.push_back(i), 0; });
    }
    pool.run();
    EXPECT_EQ(done, (std::vector<int>{0, 1, 2, 3, 4}));

    // The only worker busy: with a time-out, a job it never begins is given up unrun.
    std::atomic<bool> release{false};  // outlives the pool, whose worker reads it
    ThreadPool one(1);
    one.post([&release] {
        while (!release) {
            std::this_thread::sleep_for(1ms);
        }
    });
    WorkerPool timed(ThreadShare(one, 1));
    timed.init(1, 20, 0);
    bool ran = false;
    bool completed = false;
    timed.addJob([&ran] { return ran = true, 0; }, [&completed] { completed = true; });
    timed.run();
    release = true;
    EXPECT_FALSE(ran);
    EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace zr
