#include "support/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace zr {

std::string thisProcessHolder() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        std::strcpy(host, "unknown");
    }
    return "pid " + std::to_string(static_cast<long long>(::getpid())) + " on host " + host;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // ends the hold
    }
}

bool FolderLock::tryLock(const std::string& folder, const std::string& lockName,
                         std::string& error) {
    const std::string path =
        (std::filesystem::path(folder.empty() ? "." : folder) / lockName).string();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        error =
            "cannot make the lock file \"" + path + "\": " + std::strerror(errno) +
            (errno == ELOOP ? " (it is a link; remove it)" : "; check that the folder is writable");
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char holder[200] = {};
        const ssize_t got = ::pread(fd, holder, sizeof holder - 1, 0);
        std::string who = got > 0 ? std::string(holder, static_cast<std::size_t>(got)) : "";
        while (!who.empty() && (who.back() == '\n' || who.back() == '\0')) {
            who.pop_back();
        }
        ::close(fd);
        error = "another render of this folder is running (" +
                (who.empty() ? std::string("its process is unknown") : who) +
                "); wait until it ends, or stop it";
        return false;
    }
    const std::string holder = thisProcessHolder() + "\n";
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, holder.data(), holder.size(), 0) != static_cast<ssize_t>(holder.size())) {
        // The hold stands; only the name of its holder is missing.
    }
    fd_ = fd;
    return true;
}

}  // namespace zr
