#pragma once

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace zr::testing {

// What a command of the command line did: its exit status and what it printed.
struct CommandRun {
    int status = 0;
    std::string out;
    std::string err;
};

// Runs a command of the command line in this process with its output captured.
inline CommandRun runCommand(int (*command)(const std::vector<std::string>&),
                             const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* const oldOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const oldErr = std::cerr.rdbuf(err.rdbuf());
    CommandRun result;
    result.status = command(args);
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    result.out = out.str();
    result.err = err.str();
    return result;
}

}  // namespace zr::testing
