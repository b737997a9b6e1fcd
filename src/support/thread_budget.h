#pragma once

#include <algorithm>
#include <optional>
#include <string>

#include "support/thread_pool.h"

namespace zr {

// What the system says about the processors this process may use.
struct ProcessorLimits {
    int hardwareThreads = 1;              // every hardware thread of the machine
    std::optional<int> affinityCpus;      // the CPUs of the process's affinity mask
    std::optional<double> cgroupQuota;    // the cgroup's CPU quota in processors ("max": none)
    std::optional<int> slurmCpusPerTask;  // SLURM_CPUS_PER_TASK, when Slurm started the task
};

// Reads the limits of the running process: sched_getaffinity, the cgroup's cpu.max (or the
// older cpu.cfs_quota_us and cpu.cfs_period_us) under `cgroupRoot`, and the Slurm variable.
ProcessorLimits readProcessorLimits(const std::string& cgroupRoot = "/sys/fs/cgroup");

// Parses a cgroup v2 "cpu.max" text ("150000 100000" → 1.5; "max 100000" → none).
std::optional<double> cgroupQuotaOf(const std::string& cpuMax);

// How many threads a render may keep busy, the calling thread included.
struct ThreadBudget {
    int threads = 1;
    // The count comes from --threads, a cgroup quota or Slurm, not from the processors the
    // process sees: the encoders must be told it, since they count processors by themselves.
    bool belowWhatEncodersSee = false;
};

// `requested` above 0 (the --threads option) is taken as it is; otherwise the smallest of the
// affinity mask, the cgroup quota (rounded up) and Slurm's count, at least 1.
ThreadBudget threadBudgetOf(const ProcessorLimits& limits, int requested = 0);

// The most threads --threads accepts.
inline constexpr int kMaxThreads = 256;

// The threads of a program: a pool of workers for its budget (the calling thread is the
// budget's last one), and the share of it that its work is handed.
class ProgramThreads {
  public:
    explicit ProgramThreads(ThreadBudget budget)
        : budget_(budget), pool_(std::max(budget.threads, 1) - 1) {}

    ThreadShare share() { return ThreadShare(pool_, budget_.threads); }
    // What FFmpeg's encoders are told: 0 lets each count the processors it may use.
    int encoderThreads() const { return budget_.belowWhatEncodersSee ? budget_.threads : 0; }
    const ThreadBudget& budget() const { return budget_; }

  private:
    ThreadBudget budget_;
    ThreadPool pool_;
};

}  // namespace zr
