// Finding the split files of a film in its folder.

#include "output/movie_join.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "output/ffmpeg_objects.h"
#include "output/movie_file.h"
#include "output/movie_files.h"
#include "output/movie_format.h"
#include "output/movie_record.h"

namespace zr {

namespace fs = std::filesystem;
using ffmpeg::inQuotes;

namespace {

// "film_07.avi" for the first file "film.avi" and 7.
std::string numberedName(const std::string& first, int number) {
    return splitMovieFileName(first, number);
}

// The number of a split file named like "film_07.avi" after the first file "film.avi", or 0.
int pieceNumber(const std::string& name, const std::string& first) {
    const fs::path firstPath(first);
    const std::string prefix = firstPath.stem().string() + "_";
    const std::string extension = firstPath.extension().string();
    if (name.size() < prefix.size() + 2 + extension.size() || !name.starts_with(prefix) ||
        !name.ends_with(extension)) {
        return 0;
    }
    const std::string digits =
        name.substr(prefix.size(), name.size() - prefix.size() - extension.size());
    if (digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return 0;
    }
    const int number = std::stoi(digits);
    return numberedName(first, number) == name ? number : 0;
}

// The first file of the one film in the folder that has split files (or of the only film);
// empty with `error` set when there is none or more than one.
std::string firstFileOfFilm(const std::string& folder, const std::vector<std::string>& names,
                            std::string& error) {
    const auto present = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    std::vector<std::string> found;
    for (const ContainerInfo& container : movieContainers()) {
        const std::string candidate = movieFileName(0, container.extension.substr(1));
        if (present(candidate)) {
            found.push_back(candidate);
        }
    }
    // A film of one file has nothing to join: films with split files come first.
    std::vector<std::string> split;
    for (const std::string& candidate : found) {
        if (present(numberedName(candidate, 1))) {
            split.push_back(candidate);
        }
    }
    if (split.size() == 1) {
        found = split;
    }
    if (found.size() != 1) {
        error = found.empty() ? "the folder " + inQuotes(folder) +
                                    " holds no movie to join (film.avi, film.mp4, ...); "
                                    "render it first"
                              : "the folder " + inQuotes(folder) + " holds " + found[0] + " and " +
                                    found[1] + "; choose which to join with --input " + found[0];
        return {};
    }
    return found[0];
}

}  // namespace

bool findMoviePieces(const std::string& folder, const std::string& firstName,
                     std::vector<std::string>& pieces, std::string& error) {
    std::error_code listError;
    if (!fs::is_directory(folder, listError)) {
        error = "the folder " + inQuotes(folder) + " does not exist";
        return false;
    }
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, listError)) {
        names.push_back(entry.path().filename().string());
    }
    const auto present = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    std::string first = firstName.empty() ? firstFileOfFilm(folder, names, error) : firstName;
    if (first.empty()) {
        return false;
    }
    if (first != fs::path(first).filename().string() || containerForFile(first) == nullptr) {
        error =
            "--input: the first split file is named by its file name in the folder, with the "
            "extension of a movie (such as film.avi or film.mp4), not " +
            inQuotes(first);
        return false;
    }
    if (!present(first)) {
        error = "the first split file " + inQuotes((fs::path(folder) / first).string()) +
                " is missing; render it again before joining";
        return false;
    }
    const std::string extension = fs::path(first).extension().string();
    int last = 0;
    for (const std::string& name : names) {
        last = std::max(last, pieceNumber(name, first));
        // A file still under a partial name was not finished.
        const std::size_t named = name.find(extension + ".");
        const std::string finalName =
            named == std::string::npos ? std::string() : name.substr(0, named + extension.size());
        if (!finalName.empty() && isPartialMovieName(name, finalName) &&
            (finalName == first || pieceNumber(finalName, first) > 0)) {
            error = "the split file " + inQuotes((fs::path(folder) / name).string()) +
                    " was not finished (a render is running or was stopped); let the render "
                    "finish, or run it again, before joining";
            return false;
        }
    }
    pieces.assign(1, (fs::path(folder) / first).string());
    for (int number = 1; number <= last; ++number) {
        const std::string name = numberedName(first, number);
        if (!present(name)) {
            error = "the split file " + inQuotes((fs::path(folder) / name).string()) +
                    " is missing (the folder holds " + first + " to " + numberedName(first, last) +
                    "); render it again before joining";
            return false;
        }
        pieces.push_back((fs::path(folder) / name).string());
    }
    for (const std::string& piece : pieces) {
        std::error_code ignored;
        if (fs::exists(unfinishedMarkerPath(piece), ignored)) {
            error = "the split file " + inQuotes(piece) + " is not whole (" +
                    inQuotes(unfinishedMarkerPath(piece)) +
                    " says why); run the render command again to write it whole, then join";
            return false;
        }
    }
    return true;
}

}  // namespace zr
