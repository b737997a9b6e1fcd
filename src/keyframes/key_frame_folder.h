#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zr {

// Compares two paths with the letters A to Z folded to lower case, byte by byte: <0, 0, >0.
int comparePathsIgnoringCase(std::string_view a, std::string_view b);

enum class SortOrder { kAscending, kDescending };

// Stable sort of paths without regard to letter case. Descending is the order in which a
// movie runs: from the highest name, the widest view, to the deepest key frame.
void sortPaths(std::vector<std::string>& paths, SortOrder order);

// The pictures that are the key frames of a folder that holds no key frame file, unsorted: its
// JPEG pictures ("*.jpg"), or, when it holds none, its PNG and BMP pictures ("*.png", "*.bmp").
std::vector<std::string> listKeyFramePictures(const std::string& folder);

// The key frames of a run in `folder`: its key frame files ("*.zmb"), or, when it holds none,
// its pictures (listKeyFramePictures), sorted in `order`. The index in the list is the key
// frame's number. Empty when the folder holds neither.
std::vector<std::string> listKeyFrames(const std::string& folder, SortOrder order);

}  // namespace zr
