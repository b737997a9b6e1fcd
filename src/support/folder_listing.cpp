#include "support/folder_listing.h"

#include <filesystem>
#include <system_error>

#include "support/text_match.h"

namespace zr {

std::vector<std::string> listMatchingFiles(const std::string& folder, std::string_view wildcard) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code error;
    const fs::path base(folder);
    fs::directory_iterator entries(folder.empty() ? fs::path(".") : base, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code typeError;
        if (!entries->is_regular_file(typeError)) {
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
