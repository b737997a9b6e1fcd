#pragma once

#include <string>
#include <vector>

namespace zr {

// A movie time of `frames` frames at `fps` frames per second as "hh:mm:ss.mmm" (whole
// milliseconds, rounded down). Hours take more digits when needed. `fps` must be above 0.
std::string formatMovieTime(long long frames, int fps);

// The estimated length of a movie of `keyFrameCount` key frames at `fps` from the lines of the
// speed list ("key frame<TAB>speed"), read as speeds whatever the speed/time type: the lines in
// the order of their key frame numbers; the first line's speed (150 when it reads as 0) holds
// from key frame 0, and each following line takes over at its key frame. Empty when the key
// frame count or the FPS is not above 0.
std::string movieLengthEstimate(const std::vector<std::string>& speedLines, int keyFrameCount,
                                int fps);

}  // namespace zr
