#include "app/thread_option.h"

#include <charconv>

#include "app/cli_options.h"

namespace zr {

bool threadBudgetOf(const CommandLine& commandLine, ThreadBudget& budget, std::string& error) {
    int requested = 0;
    if (commandLine.hasExtra(kThreadsOption.name)) {
        const std::string text = commandLine.extra(kThreadsOption.name);
        const auto [end, failure] =
            std::from_chars(text.data(), text.data() + text.size(), requested);
        if (failure != std::errc{} || end != text.data() + text.size() || requested < 1 ||
            requested > kMaxThreads) {
            error = "--threads takes a whole number from 1 to " + std::to_string(kMaxThreads) +
                    ", not \"" + text + "\"";
            return false;
        }
    }
    budget = threadBudgetOf(readProcessorLimits(), requested);
    return true;
}

}  // namespace zr
