#include "app/folder_choice.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "settings/memory_controls.h"
#include "settings/movie_settings.h"
#include "settings/start_conversion.h"

namespace zr {

namespace {

// Magic, width and height: the start of a key frame file.
constexpr std::size_t kHeaderBytes = 11;

std::int32_t readLittleEndian32(const unsigned char* bytes) {
    const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    return static_cast<std::int32_t>(value);
}

FolderChoiceResult failure(std::string_view message, std::string detail) {
    FolderChoiceResult result;
    result.ok = false;
    result.message = std::string(message);
    result.detail = std::move(detail);
    return result;
}

}  // namespace

std::vector<std::string> listMatchingFiles(const std::string& folder, std::string_view wildcard) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code error;
    fs::directory_iterator entries(folder.empty() ? fs::path(".") : fs::path(folder), error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        if (entries->is_directory(error))
            continue;
        if (wildcardMatch(wildcard, entries->path().filename().string())) {
            files.push_back(entries->path().string());
        }
    }
    return files;
}

FolderChoiceResult chooseKeyFrameFolder(Controls& controls, const std::string& folder) {
    controls.setText(kIdDirectory, folder);

    const std::vector<std::string> keyFrames = listMatchingFiles(folder, "*.zmb");
    if (keyFrames.empty()) {
        return failure(kFolderUnreadable, "no .zmb key frame file in \"" + folder + "\"");
    }
    const std::string& first = keyFrames.front();
    std::ifstream file(first, std::ios::binary);
    if (!file)
        return failure(kFolderUnreadable, "cannot open \"" + first + "\"");
    std::array<unsigned char, kHeaderBytes> header{};
    file.read(reinterpret_cast<char*>(header.data()), header.size());
    const bool complete = static_cast<std::size_t>(file.gcount()) == header.size();
    const std::string_view magic(reinterpret_cast<const char*>(header.data()), 3);
    if (!complete || (magic != "ZMB" && magic != "ZMC")) {
        return failure(kFolderWrongType, "\"" + first + "\" does not start like a key frame file");
    }

    FolderChoiceResult result;
    result.frameWidth = readLittleEndian32(header.data() + 3);
    result.frameHeight = readLittleEndian32(header.data() + 7);
    const std::string width = std::to_string(result.frameWidth);
    const std::string height = std::to_string(result.frameHeight);
    controls.setText(kIdFrameWidth, width);
    controls.setText(kIdMovieWidth, width);
    controls.setText(kIdFrameHeight, height);
    controls.setText(kIdMovieHeight, height);
    controls.setText(kIdFramesPerMovie,
                     std::to_string(proposedFramesPerMovie(result.frameWidth, result.frameHeight)));

    const std::size_t pictures = listMatchingFiles(folder, "*.jpg").size();
    result.keyFrameCount = static_cast<int>(std::max(keyFrames.size(), pictures));
    movieSettings().keyFrameCount = result.keyFrameCount;
    controls.recomputeMovieLength();
    return result;
}

}  // namespace zr
