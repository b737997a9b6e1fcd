#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr {

// A movie time of `frames` frames at `fps` frames per second as "hh:mm:ss.mmm" (whole
// milliseconds, rounded down). Hours take more digits when needed. `fps` must be above 0.
std::string formatMovieTime(long long frames, int fps);

// A moment of a movie as a person gives it: a frame number ("1500", 0 the first frame), or a time
// "mm:ss", "hh:mm:ss", each with an optional fraction of up to three digits ("01:30.5" is 90.5
// seconds). Minutes and seconds of a time are below 60 after the first field.
struct MoviePosition {
    bool isTime = false;
    long long frame = 0;         // a frame number
    long long milliseconds = 0;  // a time
};
std::optional<MoviePosition> readMoviePosition(std::string_view text);

// The frame shown at the position in a movie of `fps` frames per second: a time t shows frame
// trunc(t * fps), in whole milliseconds. `fps` must be above 0.
long long frameAtPosition(const MoviePosition& position, int fps);

// The estimated length of a movie of `keyFrameCount` key frames at `fps` from the lines of the
// speed list ("key frame<TAB>speed"), read as speeds whatever the speed/time type: the lines in
// the order of their key frame numbers; the first line's speed (150 when it reads as 0) holds
// from key frame 0, and each following line takes over at its key frame. Empty when the key
// frame count or the FPS is not above 0.
std::string movieLengthEstimate(const std::vector<std::string>& speedLines, int keyFrameCount,
                                int fps);

}  // namespace zr
