#include "keyframes/key_frame_folder.h"

#include <algorithm>
#include <filesystem>

namespace zr {

namespace {

unsigned char foldCase(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return comparePathsIgnoringCase(a, b) == 0;
}

}  // namespace

int comparePathsIgnoringCase(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char ca = foldCase(a[i]);
        const unsigned char cb = foldCase(b[i]);
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
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
