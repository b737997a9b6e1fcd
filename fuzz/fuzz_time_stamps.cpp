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
#include "settings/movie_settings.h"
#include "support/text_table.h"

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

    zr::TextTable table;
    table.parse(list, "\t", "\n");
    if (timeType == zr::kTimeTypeTime || timeType == zr::kTimeTypeTimeNs) {
        for (int row = 0; row < table.rowCount(); ++row) {
            if (std::llabs(zr::readTimeStamp(table.cell(row, 1))) * std::abs(fps) >
                kMaxStampFrames) {
                return 0;
            }
        }
        const auto speeds = zr::buildKeyFrameSpeeds(table, timeType, fps, zoom, keyFrames);
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
        zr::speedListSpeeds(table, k, speed);
    }
    std::vector<std::string> lines;
    for (int row = 0; row < table.rowCount(); ++row) {
        lines.push_back(table.row(row).join("\t"));
    }
    zr::movieLengthEstimate(lines, keyFrames, fps);
    return 0;
}
