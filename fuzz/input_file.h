#pragma once

// The readers under test take a path: the input is handed to them as a file that lives in
// memory only, rewritten for every input.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace zr::fuzzing {

class InputFile {
  public:
    explicit InputFile(const char* name) : descriptor_(memfd_create(name, 0)) {
        if (descriptor_ < 0) {
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(descriptor_);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { ::close(descriptor_); }

    // The path of a file that holds exactly `bytes`.
    const std::string& holding(const std::uint8_t* bytes, std::size_t size) {
        if (::ftruncate(descriptor_, 0) != 0 ||
            ::pwrite(descriptor_, bytes, size, 0) != static_cast<ssize_t>(size)) {
            std::abort();
        }
        return path_;
    }

  private:
    int descriptor_;
    std::string path_;
};

}  // namespace zr::fuzzing
