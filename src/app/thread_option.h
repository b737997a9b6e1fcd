#pragma once

#include <string>

#include "app/program_info.h"
#include "support/thread_budget.h"

namespace zr {

struct CommandLine;

// The --threads option of the commands that render pictures.
inline constexpr CliOption kThreadsOption{
    "--threads", "N",
    "threads to render and encode on, 1 to 256 (default: the processors this process may use: "
    "its CPU affinity, its cgroup's CPU quota and Slurm's SLURM_CPUS_PER_TASK)"};

// The thread budget of a command: --threads N when given, else what the process may use.
// False with `error` naming the option and its value when N is not a whole number in range.
bool threadBudgetOf(const CommandLine& commandLine, ThreadBudget& budget, std::string& error);

}  // namespace zr
