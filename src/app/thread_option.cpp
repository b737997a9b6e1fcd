#include "app/thread_option.h"

#include <charconv>

#include "app/cli_options.h"

namespace zr {

ThreadBudget threadBudgetOf(const CommandLine& commandLine) {
    int requested = 0;
    if (commandLine.hasExtra(kThreadsOption.name)) {
        // Checked against the option's range where the command line was read.
        const std::string text = commandLine.extra(kThreadsOption.name);
        std::from_chars(text.data(), text.data() + text.size(), requested);
    }
    return threadBudgetOf(readProcessorLimits(), requested);
}

}  // namespace zr
