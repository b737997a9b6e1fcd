#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zr {

// Why a file could not be written.
enum class FileWriteErrorKind {
    kNone,
    kIsLink,       // a symbolic link stands at the final name
    kIsFolder,     // a folder (or another file that is not a regular one) stands at the name
    kCannotWrite,  // the folder refuses the file, or the disk is full
};

// The outcome of writing a file: the kind of failure and a text that names the file, the reason
// and what to do. Empty text and kNone on success.
struct FileWriteResult {
    FileWriteErrorKind kind = FileWriteErrorKind::kNone;
    std::string message;
    bool ok() const { return kind == FileWriteErrorKind::kNone; }
};

// Writes `content` to `path` so that the path holds either its old contents or all of the new
// ones, whatever happens: the bytes go to a new temporary file in the same folder, created
// without following links, are synced, and the file is renamed over `path`, after which the
// folder is synced too. A link or a folder at `path` is refused and left as it is. `mode` is the
// new file's permission bits (before the umask).
FileWriteResult writeFileSafely(const std::string& path, std::string_view content,
                                unsigned mode = 0644);

// What stands at `path` that a file may not be written over: kIsLink for a symbolic link,
// kIsFolder for anything that is not a regular file; kNone when nothing or a regular file is
// there. The message names the path.
FileWriteResult checkWritablePath(const std::string& path);

// Whether a new file can be created in the folder of `path` (empty message), else what is
// wrong: the folder is missing or refuses writing.
FileWriteResult checkFolderWritable(const std::string& path);

// Creates a new empty file beside `path` under a name no other file has (created exclusively,
// never through a link) and returns that name; empty when it cannot be created. The caller
// fills it and renames it over `path`, or removes it.
std::string createTemporaryBeside(const std::string& path);

// Flushes the file's data to the disk. False when it cannot be opened or synced.
bool syncFile(const std::string& path);

// Flushes the folder holding `path`, so that a rename or removal in it lasts a power cut.
bool syncFolderOf(const std::string& path);

// The 64-bit FNV-1a hash of `bytes`, continuing from `hash`.
inline constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
std::uint64_t fnv1a64(std::string_view bytes, std::uint64_t hash = kFnvOffset);

// The hash as 16 lower-case hexadecimal digits.
std::string hexDigits(std::uint64_t value);

}  // namespace zr
