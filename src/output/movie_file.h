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

// The number of video frames stored in a movie file, or -1 when the file cannot be read as a
// movie. Frames are counted from the stored packets, so nothing is decoded.
long long movieFileFrameCount(const std::string& path);

}  // namespace zr
