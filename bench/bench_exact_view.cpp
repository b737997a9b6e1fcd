// The view of a movie frame cut out of a composed picture twice the movie size: the whole-pixel
// area scale of a whole-pixel rectangle against the sub-pixel view of the exact rectangle, at
// the start of a key frame's zoom (the view shrinks by 1.9), in its middle (1.4) and in the last
// key frame (the view magnifies a key frame by 1.6), one thread and two.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "coloring/exact_resample.h"
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

// Arguments: movie width, height, view width per mille of the source, threads, exact (0: the
// whole-pixel view; N > 0: the sub-pixel view, supersampled N x N; -1: the sub-pixel view read
// as the mean of the linearly interpolated source).
void viewBench(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const double share = static_cast<double>(state.range(2)) / 1000.0;
    zr::ThreadPool pool(static_cast<int>(state.range(3)) - 1);
    const zr::ThreadShare threads(pool, static_cast<int>(state.range(3)));
    const bool exact = state.range(4) != 0;
    const bool linearMean = state.range(4) < 0;
    const int supersample = static_cast<int>(std::max<std::int64_t>(state.range(4), 1));
    const bool magnifies = share * 2.0 < 1.0;
    // A composed picture twice the movie size, or a key frame of the movie size when the view
    // magnifies it.
    const FrameImage source =
        magnifies ? testPicture(width, height) : testPicture(2 * width, 2 * height);
    const double viewWidth = source.width() * (magnifies ? share * 2.0 : share) + 0.37;
    const double viewHeight = viewWidth * height / width;
    FrameImage frame(width, height);
    zr::ExactSampling sampling;
    sampling.threads = threads;
    sampling.supersample = supersample;
    for (auto _ : state) {
        if (linearMean) {
            zr::resampleLinearMean(source,
                                   {(source.width() - viewWidth) / 2.0,
                                    (source.height() - viewHeight) / 2.0, viewWidth, viewHeight},
                                   frame, {0.0, 0.0, double(width), double(height)}, sampling);
        } else if (exact) {
            zr::resampleExact(source,
                              {(source.width() - viewWidth) / 2.0,
                               (source.height() - viewHeight) / 2.0, viewWidth, viewHeight},
                              frame, {0.0, 0.0, double(width), double(height)}, sampling);
        } else {
            const int halfWidth = static_cast<int>(viewWidth / 2.0 + 0.5);
            const int halfHeight = static_cast<int>(viewHeight / 2.0 + 0.5);
            zr::scaleImageInto(source,
                               {source.width() / 2 - halfWidth, source.height() / 2 - halfHeight,
                                2 * halfWidth, 2 * halfHeight},
                               frame, {0, 0, width, height}, threads);
        }
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);
}

}  // namespace

BENCHMARK(viewBench)
    ->Name("view")
    ->ArgsProduct({{1280}, {720}, {950, 700, 300}, {1, 2}, {0, 1}})
    ->ArgsProduct({{1280}, {720}, {950, 700, 300}, {1}, {-1}})
    ->Args({640, 360, 700, 1, 0})
    ->Args({640, 360, 700, 1, 1})
    ->Args({640, 360, 700, 1, -1})
    ->ArgsProduct({{1280}, {720}, {950, 700}, {1}, {2, 3, 4}})
    ->ArgNames({"w", "h", "share", "threads", "exact"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
