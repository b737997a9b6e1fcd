#include "keyframes/key_frame_folder.h"

#include <algorithm>

#include "support/folder_listing.h"
#include "support/text_match.h"

namespace zr {

int comparePathsIgnoringCase(std::string_view a, std::string_view b) {
    return compareIgnoringCase(a, b);
}

void sortPaths(std::vector<std::string>& paths, SortOrder order) {
    std::stable_sort(paths.begin(), paths.end(),
                     [order](const std::string& a, const std::string& b) {
                         const int compared = comparePathsIgnoringCase(a, b);
                         return order == SortOrder::kAscending ? compared < 0 : compared > 0;
                     });
}

std::vector<std::string> listKeyFramePictures(const std::string& folder) {
    std::vector<std::string> paths = listMatchingFiles(folder, "*.jpg");
    if (paths.empty()) {
        paths = listMatchingFiles(folder, "*.png");
        std::vector<std::string> bitmaps = listMatchingFiles(folder, "*.bmp");
        paths.insert(paths.end(), bitmaps.begin(), bitmaps.end());
    }
    return paths;
}

std::vector<std::string> listKeyFrames(const std::string& folder, SortOrder order) {
    std::vector<std::string> paths = listMatchingFiles(folder, "*.zmb");
    if (paths.empty()) {
        paths = listKeyFramePictures(folder);
    }
    sortPaths(paths, order);
    return paths;
}

}  // namespace zr
