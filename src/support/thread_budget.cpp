#include "support/thread_budget.h"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace zr {

namespace {

std::optional<std::string> readSmallFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::string text(256, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

std::optional<long long> wholeNumber(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end == text.data()) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> affinityCpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) {
        return std::nullopt;
    }
    const int count = CPU_COUNT(&set);
    return count > 0 ? std::optional<int>(count) : std::nullopt;
}

std::optional<double> quotaOf(long long quota, long long period) {
    if (quota <= 0 || period <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(quota) / static_cast<double>(period);
}

// The process's own cgroup (v2), as /proc/self/cgroup names it: "0::/path".
std::string ownCgroupPath() {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("0::/") && line.find("..") == std::string::npos) {
            return line.substr(3);
        }
    }
    return "/";
}

// The smallest cpu.max quota from the process's cgroup up to the root: a parent's quota
// bounds every child.
std::optional<double> cgroupV2Quota(const std::string& root) {
    std::optional<double> smallest;
    std::string path = ownCgroupPath();
    for (;;) {
        if (const auto cpuMax = readSmallFile(root + (path == "/" ? "" : path) + "/cpu.max")) {
            if (const auto quota = cgroupQuotaOf(*cpuMax)) {
                smallest = smallest ? std::min(*smallest, *quota) : *quota;
            }
        }
        if (path == "/" || path.empty()) {
            return smallest;
        }
        path.erase(std::max<std::size_t>(path.rfind('/'), 1));
    }
}

std::optional<double> cgroupQuota(const std::string& root) {
    if (const auto quota = cgroupV2Quota(root)) {
        return quota;
    }
    const auto quota = readSmallFile(root + "/cpu/cpu.cfs_quota_us");
    const auto period = readSmallFile(root + "/cpu/cpu.cfs_period_us");
    if (!quota || !period) {
        return std::nullopt;
    }
    const auto quotaValue = wholeNumber(*quota);
    const auto periodValue = wholeNumber(*period);
    if (!quotaValue || !periodValue) {
        return std::nullopt;
    }
    return quotaOf(*quotaValue, *periodValue);
}

std::optional<int> slurmCpusPerTask() {
    const char* text = std::getenv("SLURM_CPUS_PER_TASK");
    if (text == nullptr) {
        return std::nullopt;
    }
    const auto value = wholeNumber(text);
    if (!value || *value < 1 || *value > 1 << 20) {
        return std::nullopt;
    }
    return static_cast<int>(*value);
}

}  // namespace

std::optional<double> cgroupQuotaOf(const std::string& cpuMax) {
    std::istringstream words(cpuMax);
    std::string quota;
    std::string period;
    words >> quota >> period;
    const auto quotaValue = wholeNumber(quota);
    const auto periodValue = wholeNumber(period);
    if (!quotaValue || !periodValue) {
        return std::nullopt;  // "max": no quota
    }
    return quotaOf(*quotaValue, *periodValue);
}

ProcessorLimits readProcessorLimits(const std::string& cgroupRoot) {
    ProcessorLimits limits;
    limits.hardwareThreads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    limits.affinityCpus = affinityCpus();
    limits.cgroupQuota = cgroupQuota(cgroupRoot);
    limits.slurmCpusPerTask = slurmCpusPerTask();
    return limits;
}

ThreadBudget threadBudgetOf(const ProcessorLimits& limits, int requested) {
    if (requested > 0) {
        return {std::min(requested, kMaxThreads), true};
    }
    const int seen = std::max(limits.affinityCpus.value_or(limits.hardwareThreads), 1);
    int threads = seen;
    if (limits.cgroupQuota) {
        threads = std::min(threads, std::max(1, static_cast<int>(std::ceil(*limits.cgroupQuota))));
    }
    if (limits.slurmCpusPerTask) {
        threads = std::min(threads, *limits.slurmCpusPerTask);
    }
    threads = std::clamp(threads, 1, kMaxThreads);
    return {threads, threads < seen};
}

}  // namespace zr
