#include "keyframes/key_frame_folder.h"
#include "support/text_match.h"

#include <algorithm>
#include <filesystem>

namespace zr {

namespace {}  // namespace

int comparePathsIgnoringCase(std::string_view a, std::string_view b) {
    return compareIgnoringCase(a, b);
}

std::vector<std::string> listFiles(const std::string& folder, std::string_view extension) {
    if (extension.starts_with('.')) {
        extension.remove_prefix(1);
    }
    std::vector<std::string> paths;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder.empty() ? "." : folder, error);
    if (error) {
        return paths;
    }
    const std::filesystem::path base(folder);
    for (const auto& entry : entries) {
        std::error_code typeError;
        if (!entry.is_regular_file(typeError)) {
            continue;
        }
        const std::string name = entry.path().filename().string();
        const std::size_t dot = name.rfind('.');
        if (dot == std::string::npos) {
            continue;
        }
        if (equalIgnoringCase(std::string_view(name).substr(dot + 1), extension)) {
            paths.push_back((base / name).string());
        }
    }
    return paths;
}

void sortPaths(std::vector<std::string>& paths, SortOrder order) {
    std::stable_sort(paths.begin(), paths.end(),
                     [order](const std::string& a, const std::string& b) {
                         const int compared = comparePathsIgnoringCase(a, b);
                         return order == SortOrder::kAscending ? compared < 0 : compared > 0;
                     });
}

}  // namespace zr
