#pragma once

#include <string>

namespace zr {

// An exclusive hold on a folder for one process, through an advisory lock (flock) on a lock
// file in it that also names the holder ("pid N on host H"). The hold ends with the object or
// the process, however it ends; the lock file stays for the next one.
class FolderLock {
  public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the hold on `folder` through its file `lockName`, without waiting. False with
    // `error` set when another process holds it ("another render of this folder is running (pid
    // N on host H)") or the lock file cannot be made (a link at its name is not followed).
    bool tryLock(const std::string& folder, const std::string& lockName, std::string& error);

    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

// "pid N on host H" of this process.
std::string thisProcessHolder();

}  // namespace zr
