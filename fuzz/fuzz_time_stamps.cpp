// Speeds per key frame from any speed list: the rows of Speed mode, the movie length estimate,
// and the time stamps of "Time" and "Time NS" with their search for each stretch's base speed.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "movie/movie_length.h"
#include "movie/time_stamps.h"
#include "movie/timeline.h"
#include "settings/timeline_tracks.h"

namespace {

// Stamps of up to this many movie frames keep every input quick; larger ones only take longer
// ramps through the same code.
constexpr long long kMaxStampFrames = 1 << 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const int timeType = input.ConsumeIntegralInRange(0, 3);
    const int fps = input.ConsumeIntegralInRange(-2, 240);
    const double zoom = input.ConsumeBool()
                            ? input.PickValueInArray({2.0, 4.0, 1.5, 16.0, 1.0, 0.5, 1.0001})
                            : input.ConsumeFloatingPointInRange(-2.0, 1000.0);
    const int keyFrames = input.ConsumeIntegralInRange(0, 64);
    const std::string list = input.ConsumeRemainingBytesAsString();

    const zr::SpeedTrack track = zr::speedTrackOf({list});
    if (timeType == zr::kTimeTypeTime || timeType == zr::kTimeTypeTimeNs) {
        for (const zr::SpeedTrack::Row& row : track.rows()) {
            if (std::llabs(row.value.stampSeconds) * std::abs(fps) > kMaxStampFrames) {
                return 0;
            }
        }
        const auto speeds = zr::buildKeyFrameSpeeds(track, timeType, fps, zoom, keyFrames);
        if (speeds) {
            if (static_cast<int>(speeds->size()) > keyFrames) {
                __builtin_trap();  // speeds past the run's key frames are not kept
            }
            for (int k = 0; k <= keyFrames; ++k) {
                zr::timeSpeeds(*speeds, timeType, k);
            }
        }
        return 0;
    }
    int speed = zr::kDefaultSpeed;
    for (int k = 0; k < keyFrames; ++k) {
        zr::speedListSpeeds(track, k, speed);
    }
    std::vector<std::string> lines;
    for (const zr::SpeedTrack::Row& row : track.rows()) {
        lines.push_back(row.keyText + "\t" + row.valueText);
    }
    zr::movieLengthEstimate(lines, keyFrames, fps);
    return 0;
}
