#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace zr::testing {

// A path under the system's temporary folder that no other test process uses: the tests run
// in parallel, one process per test, and several builds may run them at once.
inline std::filesystem::path uniqueTempPath(const std::string& name) {
    static std::atomic<int> counter{0};
    return std::filesystem::temp_directory_path() /
           (name + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
}

}  // namespace zr::testing
