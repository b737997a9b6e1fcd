#pragma once

#include <string>
#include <string_view>

namespace zr {

// The container a movie is written in unless the user asks for another.
inline constexpr std::string_view kDefaultMovieExtension = "avi";

// Name of movie file `index` of a run (0, 1, 2, ...): "film.EXT" for the first, then
// "film_01.EXT", "film_02.EXT", ... ("film_100.EXT" once two digits no longer hold the number).
// `extension` is given without its dot.
std::string movieFileName(int index, std::string_view extension = kDefaultMovieExtension);

// The name a movie file has while this process writes it, in the same folder: the final name,
// the machine and the process writing it, then ".part" ("film_03.avi.node7-4211.part"). Two
// machines that render into one shared folder never write into each other's file, and the file
// gets its final name only once it is complete.
std::string partialMovieName(const std::string& fileName);

// Whether `name` is a partial name of the movie file `fileName` written by any process (both
// without their folder): "film_03.avi.node7-4211.part" (or "film_03.avi.part") of "film_03.avi".
bool isPartialMovieName(std::string_view name, std::string_view fileName);

// Removes the files under partial names of the movie file `fileName` (with its folder) but
// `own`, the complete file about to get the final name: what others left under partial names is
// a killed render's leftover, or a second copy of the same file that is no longer needed.
void removeOtherPartialMovies(const std::string& fileName, const std::string& own);

// The number of video frames stored in a movie file, or -1 when the file cannot be read as a
// movie. Frames are counted from the stored packets, so nothing is decoded.
long long movieFileFrameCount(const std::string& path);

}  // namespace zr
