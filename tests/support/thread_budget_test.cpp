#include "support/thread_budget.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/thread_pool.h"

namespace zr {
namespace {

TEST(ThreadBudget, TheSmallestLimitWinsAndTheOptionOverridesThemAll) {
    ProcessorLimits limits;
    limits.hardwareThreads = 64;
    EXPECT_EQ(threadBudgetOf(limits).threads, 64);
    EXPECT_FALSE(threadBudgetOf(limits).belowWhatEncodersSee);

    limits.affinityCpus = 1;  // taskset -c 0
    EXPECT_EQ(threadBudgetOf(limits).threads, 1);
    EXPECT_FALSE(threadBudgetOf(limits).belowWhatEncodersSee);  // they read the mask too

    limits.affinityCpus = 16;
    limits.cgroupQuota = 2.5;  // a quota rounds up
    EXPECT_EQ(threadBudgetOf(limits).threads, 3);
    EXPECT_TRUE(threadBudgetOf(limits).belowWhatEncodersSee);

    limits.slurmCpusPerTask = 2;
    EXPECT_EQ(threadBudgetOf(limits).threads, 2);
    limits.cgroupQuota = 0.1;
    EXPECT_EQ(threadBudgetOf(limits).threads, 1);

    EXPECT_EQ(threadBudgetOf(limits, 6).threads, 6);
    EXPECT_EQ(threadBudgetOf(limits, 100000).threads, kMaxThreads);
}

TEST(ThreadBudget, CgroupQuotaTexts) {
    EXPECT_EQ(cgroupQuotaOf("150000 100000\n"), 1.5);
    EXPECT_EQ(cgroupQuotaOf("max 100000\n"), std::nullopt);
    EXPECT_EQ(cgroupQuotaOf(""), std::nullopt);
    EXPECT_EQ(cgroupQuotaOf("-1 100000"), std::nullopt);
    EXPECT_EQ(cgroupQuotaOf("100 0"), std::nullopt);

    // The older hierarchy's two files, under a root of our own.
    const auto root = std::filesystem::temp_directory_path() / "zr_cgroup_v1";
    std::filesystem::create_directories(root / "cpu");
    std::ofstream(root / "cpu" / "cpu.cfs_quota_us") << "400000\n";
    std::ofstream(root / "cpu" / "cpu.cfs_period_us") << "100000\n";
    EXPECT_EQ(readProcessorLimits(root.string()).cgroupQuota, 4.0);
    std::filesystem::remove_all(root);
}

TEST(ThreadShare, WithoutAPoolTheCallerDoesEverythingInOneCall) {
    int calls = 0;
    int sum = 0;
    ThreadShare().parallelFor(3, 10, [&](int begin, int end) {
        ++calls;
        for (int i = begin; i < end; ++i) {
            sum += i;
        }
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(sum, 42);
    ThreadPool pool(2);
    EXPECT_EQ(ThreadShare(pool, 3).atMost(8).count(), 3);
    EXPECT_EQ(ThreadShare(pool, 3).atMost(0).count(), 1);
}

}  // namespace
}  // namespace zr
