// Colouring of a 1920 x 1080 key frame on one core, per colouring option.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>

#include "coloring/color_key_frame.h"
#include "coloring/palette.h"
#include "coloring/texture.h"
#include "keyframes/image_file.h"
#include "settings/movie_spec.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr std::int32_t kInside = 5000;

// Iteration counts that rise towards a few centres with smooth fractions, and a patch inside.
zr::KeyFrame benchKeyFrame() {
    zr::KeyFrame frame;
    frame.path = "bench.zmb";
    frame.width = kWidth;
    frame.height = kHeight;
    frame.maxIteration = kInside;
    frame.counts.resize(static_cast<std::size_t>(kWidth) * kHeight);
    frame.fractions.resize(frame.counts.size());
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double dx = (x - 900) / 300.0;
            const double dy = (y - 500) / 300.0;
            const double value = 200 + 150 * std::sin(dx * 3 + std::cos(dy * 2)) + 40 * dy * dx;
            const std::size_t at = static_cast<std::size_t>(y) * kWidth + x;
            const bool inside = dx * dx + dy * dy < 0.1;
            frame.counts[at] = inside ? kInside : static_cast<std::int32_t>(value);
            frame.fractions[at] = static_cast<float>(value - std::floor(value));
        }
    }
    return frame;
}

// The colours of a run: six key colours, division 3.
zr::ColorState baseColors() {
    zr::ColorState color;
    color.colorDivision = 3.0;
    color.keyColorCount = 6;
    const zr::Bgr keys[] = {{0, 0, 0},     {255, 128, 0}, {255, 255, 255},
                            {0, 128, 255}, {40, 0, 90},   {0, 200, 100}};
    for (int i = 0; i < 6; ++i) {
        color.keyColors[i] = keys[i];
    }
    color.startCycle = 12.5;
    return color;
}

enum Option { kStandardSmooth, kDistance, kSlopes, kTexture, kWaves };

void colorKeyFrameBench(benchmark::State& state) {
    static const zr::KeyFrame frame = benchKeyFrame();
    const zr::ColorState color = baseColors();
    zr::ColoringSpec coloring;
    zr::TextureSpec texture;
    texture.texture = false;
    std::shared_ptr<const zr::FrameImage> textureImage;
    zr::TextureStore store;
    const std::string texturePath =
        (std::filesystem::temp_directory_path() / "zr_bench_texture.png").string();
    switch (state.range(0)) {
        case kDistance:
            coloring.colorMethod = zr::kDistance;
            break;
        case kSlopes:
            coloring.slopes = true;
            coloring.slopeRatio = 50;
            break;
        case kTexture: {
            zr::FrameImage picture(800, 600);
            for (int y = 0; y < 600; ++y) {
                for (int x = 0; x < 800 * 3; ++x) {
                    picture.row(y)[x] = static_cast<std::uint8_t>(x * 3 + y * 5);
                }
            }
            if (!zr::savePng(picture, texturePath, nullptr)) {
                state.SkipWithError("cannot write the texture picture");
                return;
            }
            texture.texture = true;
            texture.textureFile = texturePath;
            texture.textureMerge = 0.5;
            zr::TexturePosition position = zr::startingTexture(texture);
            zr::prepareTexture(texture, 30, false, position, store, frame.width, frame.height, 0.0);
            textureImage = zr::heldTexture(position, store);
            break;
        }
        case kWaves:
            coloring.waveColoring = true;
            coloring.hsbWaves[0] = zr::HsbWave{0, 300, 0, 0, 0, 0};
            coloring.hsbWaves[1] = zr::HsbWave{1, 170, 0, 0, 0, 0};
            coloring.hsbWaves[2] = zr::HsbWave{2, 90, 0, 0, 0, 0};
            coloring.hsbWaves[3] = zr::HsbWave{3, 40, 0, 0, 0, 0};
            coloring.hsbWaves[4].endFlag = 1;
            break;
        default:
            break;
    }
    const zr::ColoringPlan plan =
        zr::makeColoringPlan(coloring, texture, color, textureImage, 2.0, 1.0);
    for (auto _ : state) {
        zr::FrameImage image = zr::colorKeyFrame(frame, plan);
        benchmark::DoNotOptimize(image.data());
    }
    state.counters["MP/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kWidth * kHeight / 1e6,
                           benchmark::Counter::kIsRate);
    std::filesystem::remove(texturePath);
}

}  // namespace

BENCHMARK(colorKeyFrameBench)
    ->Name("colorKeyFrame")
    ->Arg(kStandardSmooth)
    ->Arg(kDistance)
    ->Arg(kSlopes)
    ->Arg(kTexture)
    ->Arg(kWaves)
    ->ArgName("option:0std_1dist_2slope_3tex_4wave")
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
