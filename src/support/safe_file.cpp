#include "support/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

namespace zr {

namespace {

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; false when the close reports a failure (data that did not reach the disk).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

FileWriteResult cannotWrite(const std::string& path, int error) {
    return {FileWriteErrorKind::kCannotWrite,
            "cannot write " + quoted(path) + ": " + std::strerror(error) +
                "; check that the folder exists, is writable and that the disk has space"};
}

bool writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string temporaryNameFor(const std::string& path) {
    // O_EXCL refuses a name that is taken, so a fresh random part each time is enough.
    std::random_device random;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%d-%08llx.tmp", static_cast<int>(::getpid()),
                  static_cast<unsigned long long>(random() & 0xffffffffull));
    return path + suffix;
}

}  // namespace

FileWriteResult checkWritablePath(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return {};
    }
    if (S_ISLNK(info.st_mode)) {
        return {FileWriteErrorKind::kIsLink,
                quoted(path) +
                    ": it is a link, and files are never written through links; remove it or "
                    "choose another name"};
    }
    if (!S_ISREG(info.st_mode)) {
        return {FileWriteErrorKind::kIsFolder,
                quoted(path) +
                    " is a folder or another special file, not a file that can be replaced; "
                    "remove or rename it, or choose another name"};
    }
    return {};
}

FileWriteResult checkFolderWritable(const std::string& path) {
    const std::string folder = folderOf(path);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return {FileWriteErrorKind::kCannotWrite,
                "the folder " + quoted(folder) + " of " + quoted(path) +
                    " does not exist; create it or choose another place"};
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return {FileWriteErrorKind::kCannotWrite,
                "the folder " + quoted(folder) + " does not let " + quoted(path) + " be written: " +
                    std::strerror(errno) + "; make it writable or choose another place"};
    }
    return {};
}

FileWriteResult writeFileSafely(const std::string& path, std::string_view content, unsigned mode) {
    if (FileWriteResult found = checkWritablePath(path); !found.ok()) {
        return found;
    }
    const std::string temporary = temporaryNameFor(path);
    Descriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           static_cast<mode_t>(mode)));
    if (file.get() < 0) {
        return cannotWrite(path, errno);
    }
    const bool written = writeAll(file.get(), content) && ::fsync(file.get()) == 0;
    const int writeError = errno;
    if (!file.close() || !written) {
        const int error = written ? errno : writeError;
        ::unlink(temporary.c_str());
        return cannotWrite(path, error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return cannotWrite(path, error);
    }
    syncFolderOf(path);
    return {};
}

std::string createTemporaryBeside(const std::string& path) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string temporary = temporaryNameFor(path);
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return temporary;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

bool syncFile(const std::string& path) {
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    return file.get() >= 0 && ::fsync(file.get()) == 0;
}

bool syncFolderOf(const std::string& path) {
    const Descriptor folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.get() >= 0 && ::fsync(folder.get()) == 0;
}

std::uint64_t fnv1a64(std::string_view bytes, std::uint64_t hash) {
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string hexDigits(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace zr
