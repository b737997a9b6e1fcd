#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zr {

// Full paths of the files in `folder` whose extension equals `extension` ("zmb" or ".zmb"),
// letter case ignored, in the order the file system lists them. Empty when the folder cannot
// be read.
std::vector<std::string> listFiles(const std::string& folder, std::string_view extension);

// Compares two paths with the letters A to Z folded to lower case, byte by byte: <0, 0, >0.
int comparePathsIgnoringCase(std::string_view a, std::string_view b);

enum class SortOrder { kAscending, kDescending };

// Stable sort of paths without regard to letter case. Descending is the order in which a
// movie runs: from the highest name, the widest view, to the deepest key frame.
void sortPaths(std::vector<std::string>& paths, SortOrder order);

}  // namespace zr
