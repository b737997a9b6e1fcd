#include "support/folder_listing.h"

#include <filesystem>
#include <system_error>

#include "support/text_match.h"

namespace zr {

namespace {

// A link that leads nowhere (its target is gone, or links loop): listed, so that reading it
// fails and says why, instead of the file silently missing from the list.
bool isBrokenLink(const std::filesystem::directory_entry& entry) {
    std::error_code error;
    if (!entry.is_symlink(error) || error) {
        return false;
    }
    static_cast<void>(std::filesystem::status(entry.path(), error));
    return error == std::errc::no_such_file_or_directory ||
           error == std::errc::too_many_symbolic_link_levels;
}

}  // namespace

std::vector<std::string> listMatchingFiles(const std::string& folder, std::string_view wildcard) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code error;
    const fs::path base(folder);
    fs::directory_iterator entries(folder.empty() ? fs::path(".") : base, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code typeError;
        if (!entries->is_regular_file(typeError) && !isBrokenLink(*entries)) {
            continue;
        }
        const std::string name = entries->path().filename().string();
        if (wildcardMatch(wildcard, name)) {
            files.push_back((base / name).string());
        }
    }
    return files;
}

}  // namespace zr
