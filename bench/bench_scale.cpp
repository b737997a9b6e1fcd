// Area-averaging scale of a picture to the movie size, against libswscale's best area scaling
// on the same BGR24 pictures and against a plain copy of the source. The threaded cases share
// the rows with the process's pool; the small pictures show what each call costs to share out.

#include <benchmark/benchmark.h>
#include <algorithm>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "coloring/scale_image.h"

namespace {

using zr::FrameImage;

// A picture with smooth gradients and fine detail, like a coloured key frame.
FrameImage testPicture(int width, int height) {
    FrameImage image(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.row(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(x * 255 / width);
            row[3 * x + 1] = static_cast<std::uint8_t>(128 + 127 * std::sin(x * 0.05 + y * 0.03));
            row[3 * x + 2] = static_cast<std::uint8_t>((x * 7 + y * 13) & 0xFF);
        }
    }
    return image;
}

constexpr int kTargetWidth = 1920;
constexpr int kTargetHeight = 1080;

void scaleImageBench(benchmark::State& state) {
    const FrameImage source =
        testPicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int threadCount = std::max(static_cast<int>(state.range(2)), 1);
    zr::ThreadPool pool(threadCount - 1);
    const zr::ThreadShare threads(pool, threadCount);
    const int targetWidth = state.range(3) > 0 ? static_cast<int>(state.range(3)) : kTargetWidth;
    const int targetHeight = state.range(4) > 0 ? static_cast<int>(state.range(4)) : kTargetHeight;
    FrameImage target(targetWidth, targetHeight);
    for (auto _ : state) {
        zr::scaleImageInto(source, {0, 0, source.width(), source.height()}, target,
                           {0, 0, targetWidth, targetHeight}, threads);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * targetWidth * targetHeight);
}

void swscaleBench(benchmark::State& state) {
    const FrameImage source =
        testPicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    FrameImage target(kTargetWidth, kTargetHeight);
    SwsContext* context = sws_getContext(
        source.width(), source.height(), AV_PIX_FMT_BGR24, kTargetWidth, kTargetHeight,
        AV_PIX_FMT_BGR24, SWS_AREA | SWS_FULL_CHR_H_INT | SWS_FULL_CHR_H_INP | SWS_ACCURATE_RND,
        nullptr, nullptr, nullptr);
    if (context == nullptr) {
        state.SkipWithError("libswscale refused the conversion");
        return;
    }
    const std::uint8_t* sourcePlanes[] = {source.data()};
    const int sourceStrides[] = {source.stride()};
    std::uint8_t* targetPlanes[] = {target.data()};
    const int targetStrides[] = {target.stride()};
    for (auto _ : state) {
        sws_scale(context, sourcePlanes, sourceStrides, 0, source.height(), targetPlanes,
                  targetStrides);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    sws_freeContext(context);
    state.SetItemsProcessed(state.iterations() * kTargetWidth * kTargetHeight);
}

void copySourceBench(benchmark::State& state) {
    const FrameImage source =
        testPicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint8_t> copy(source.sizeBytes());
    for (auto _ : state) {
        std::memcpy(copy.data(), source.data(), source.sizeBytes());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.sizeBytes()));
}

}  // namespace

BENCHMARK(scaleImageBench)
    ->Name("scaleImage")
    ->Args({3840, 2160, 1, 0, 0})
    ->Args({3000, 1688, 1, 0, 0})  // a view with 16-bit vertical sums, 2 or 3 taps a column
    ->Args({3840, 2160, 2, 0, 0})
    ->Args({3840, 2160, 8, 0, 0})  // as the composer asks: up to eight threads
    ->Args({2881, 1621, 1, 0, 0})  // a view cut out of a composed picture: no common divisor
    ->Args({2881, 1621, 8, 0, 0})
    ->Args({2877, 1618, 1, 0, 0})  // another view: 32-bit vertical sums
    ->Args({1280, 720, 1, 0, 0})   // upscale by 1.5
    ->Args({1280, 720, 8, 0, 0})
    ->Args({1920, 1080, 1, 3840, 2160})  // twice as large, as a key frame into a composed picture
    ->Args({1920, 1080, 1, 1920, 1080})  // the same size, as the next key frame
    ->Args({1920, 1080, 1, 960, 540})    // halved, as the one after it
    ->Args({1920, 1080, 1, 240, 135})    // an eighth, as a deep key frame's placement
    ->Args({1280, 720, 1, 640, 360})     // a small movie
    ->Args({1280, 720, 8, 640, 360})
    ->Args({320, 180, 8, 160, 90})  // a deep key frame's small placement
    ->ArgNames({"w", "h", "threads", "tw", "th"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(swscaleBench)
    ->Name("swscale_area")
    ->Args({3840, 2160})
    ->Args({3000, 1688})
    ->Args({2881, 1621})
    ->Args({1280, 720})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(copySourceBench)
    ->Name("memcpy_source")
    ->Args({3840, 2160})
    ->Args({3000, 1688})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
