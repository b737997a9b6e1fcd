#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zr {

// The files of `folder` whose names match `wildcard` ("*.zmb", "*.jp*g"; letters compared
// without regard to case), in the order the file system lists them, each as the folder joined
// with the file name. Only regular files (or links to them) are listed, so a folder or a pipe
// that happens to match is never opened; links that lead nowhere (a missing target, or links
// in a loop) are listed too, so that whoever reads them learns why they cannot be read; a folder
// that cannot be read lists nothing. An empty `folder` is the current folder, and its files are
// listed by name alone.
std::vector<std::string> listMatchingFiles(const std::string& folder, std::string_view wildcard);

}  // namespace zr
