#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zr {

// The version of Zoomreel.
std::string_view programVersion();

// A library and the version of it that the program runs with.
struct LibraryVersion {
    std::string name;
    std::string version;
};

// FFmpeg (with the versions of each of its libraries), libjpeg-turbo, libpng and FreeType.
std::vector<LibraryVersion> libraryVersions();

// "NAME VERSION" lines: `first` (the desktop program's Qt), then libraryVersions().
std::string libraryVersionLines(const std::vector<LibraryVersion>& first = {});

// Keeps the video libraries' own progress and statistics lines off the standard error stream;
// their errors still show. The programs call it once as they start, since it sets the log level
// and the environment of the whole process.
void quietVideoLibraryMessages();

// What --version prints: "PROGRAM VERSION" and the library lines.
std::string versionText(std::string_view program, const std::vector<LibraryVersion>& first = {});

}  // namespace zr
