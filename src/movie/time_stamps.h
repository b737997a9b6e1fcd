#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "movie/timeline.h"

namespace zr {

// The message shown when a time stamp is earlier than the one before it.
inline constexpr std::string_view kTimeStampOrderError = "Later timestamps can not be earlier";

// Speeds per key frame (movie frames per key frame, index = key frame number) from the time
// stamps of the speed list: a row (K, t) makes key frame K begin t seconds into the movie.
// "Time NS" (timeType 2) spreads the frames of each stretch evenly; "Time" (timeType 1) moves
// the speed smoothly from one stretch to the next. The rows are taken in the order of their key
// frame numbers (equal numbers keep their list order); `speedSpecs` itself is not changed.
// Speeds of key frames from `keyFrameLimit` on are not kept (they are never asked for). None
// when a time stamp is earlier than the one before it, and when `stopRequested` asked to end
// the work early (a caller that passes it tells the two apart by asking it again).
std::optional<std::vector<int>> buildKeyFrameSpeeds(const SpeedTrack& speedSpecs, int timeType,
                                                    int fps, double zoomFactor, int keyFrameLimit,
                                                    const StopCheck& stopRequested = {});

// Speeds of key frame k in the time modes: "Time" starts key frame k at the speed of k - 1 and
// ends it at its own (a difference of exactly 1 is not ramped); "Time NS" keeps the key frame's
// own speed. Key frames past the table take its last speed; an empty table gives 0.
KeyFrameSpeeds timeSpeeds(const std::vector<int>& keyFrameSpeeds, int timeType, int keyFrame);

}  // namespace zr
