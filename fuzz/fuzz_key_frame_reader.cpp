// The key frame reader on any bytes, and the colouring of every key frame it accepts under
// colouring settings taken from the end of the input.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "coloring/color_key_frame.h"
#include "coloring/palette.h"
#include "coloring/slopes.h"
#include "input_file.h"
#include "keyframes/key_frame_cache.h"

namespace {

zr::ColoringPlan planFrom(FuzzedDataProvider& input) {
    zr::ColoringPlan plan;
    plan.method = input.ConsumeIntegralInRange(0, 5);
    plan.smooth = input.ConsumeBool();
    plan.fixedCycling = input.ConsumeBool();
    plan.division = input.ConsumeBool() ? input.ConsumeFloatingPointInRange(-8.0, 64.0) : 1.0;
    plan.cycleOffset = input.ConsumeFloatingPointInRange(-1e6, 1e6);
    plan.stretchMin = input.ConsumeFloatingPointInRange(-1.0, 1e6);
    plan.stretchMax = input.ConsumeFloatingPointInRange(-1.0, 1e6);
    plan.slopeScale = input.ConsumeFloatingPointInRange(-4.0, 4.0);
    plan.maxIteration = input.ConsumeIntegral<std::int32_t>();
    plan.inside = {input.ConsumeIntegral<std::uint8_t>(), input.ConsumeIntegral<std::uint8_t>(),
                   input.ConsumeIntegral<std::uint8_t>()};
    if (input.ConsumeBool()) {
        zr::SlopeShading slopes;
        slopes.light = zr::slopeLight(input.ConsumeFloatingPointInRange(-360.0, 360.0));
        slopes.slopeScale = input.ConsumeFloatingPointInRange(-4.0, 4.0);
        slopes.slopeRatio = input.ConsumeFloatingPointInRange(-100.0, 200.0);
        slopes.divideSlopes = input.ConsumeBool();
        slopes.cycleOffset = plan.cycleOffset;
        plan.slopes = slopes;
    }
    return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static zr::fuzzing::InputFile file("key-frame");
    static zr::KeyFrameCache cache;
    FuzzedDataProvider input(data, size);
    zr::ColoringPlan plan = planFrom(input);
    const std::vector<std::uint8_t> bytes = input.ConsumeRemainingBytes<std::uint8_t>();

    const zr::KeyFrame* frame = cache.load(file.holding(bytes.data(), bytes.size()));
    if (frame != nullptr) {
        zr::KeyColors colors{};
        const std::size_t count = std::min(frame->keyColors.size(), colors.size());
        std::copy_n(frame->keyColors.begin(), count, colors.begin());
        plan.palette =
            std::make_shared<const zr::Palette>(zr::expandPalette(colors, static_cast<int>(count)));
        const zr::FrameImage picture = zr::colorKeyFrame(*frame, plan);
        if (!picture.empty() &&
            (picture.width() != frame->width || picture.height() != frame->height)) {
            __builtin_trap();  // a coloured key frame keeps the key frame's size
        }
    }
    cache.emptyAll();
    return 0;
}
