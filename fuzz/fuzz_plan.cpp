// The plan of any movie: the first byte gives the number of key frames (1 to 256), the rest is a
// settings file read by Start. Plans of very long movies are stopped after a bounded amount of
// work, as a stop request ends them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "movie/plan.h"
#include "settings/memory_controls.h"
#include "settings/settings_file.h"
#include "settings/start_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const int keyFrameCount = data[0] + 1;
    zr::MemoryControls controls;
    zr::applySettingsText(controls,
                          std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    const zr::StartConversionResult start = zr::convertControlsForStart(controls);
    if (!start.ok) {
        return 0;
    }
    constexpr long long kMostStopChecks = 20000;
    long long checks = 0;
    std::string error;
    const std::optional<zr::MoviePlan> plan = zr::planMovie(
        start.spec, keyFrameCount, &error, [&checks] { return ++checks > kMostStopChecks; });
    if (plan) {
        long long frames = 0;
        for (const zr::PlannedKeyFrame& keyFrame : plan->keyFrames) {
            if (keyFrame.frames < 0 || keyFrame.firstFrame != frames) {
                __builtin_trap();  // key frames follow each other without gaps
            }
            frames += keyFrame.frames;
        }
        if (frames != plan->totalFrames) {
            __builtin_trap();
        }
        zr::formatMoviePlan(*plan);
    } else if (error.empty()) {
        __builtin_trap();  // a plan that fails says why
    }
    return 0;
}
