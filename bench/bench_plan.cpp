// Planning movies whose speed list holds time stamps: the smooth speeds of "Time" search for the
// base speed of every stretch, then every key frame is walked frame by frame. Speed lists of
// movies up to 24 hours, at 60 frames a second.

#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "movie/plan.h"
#include "settings/movie_spec.h"

namespace {

// "hh:mm:ss" of a number of seconds.
std::string stamp(long long seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

// Stamps at `keyFrames` key frames spread at random over 24 hours.
std::string randomStamps(int keyFrames, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<long long> seconds(static_cast<std::size_t>(keyFrames));
    for (long long& s : seconds) {
        s = std::uniform_int_distribution<long long>(0, 24 * 3600)(random);
    }
    std::sort(seconds.begin(), seconds.end());
    std::string list;
    for (int k = 0; k < keyFrames; ++k) {
        list += std::to_string(k + 1) + "\t" + stamp(seconds[static_cast<std::size_t>(k)]) + "\n";
    }
    return list;
}

void planBench(benchmark::State& state, const std::string& speedList, int keyFrameCount,
               double zoomFactor) {
    zr::MovieSpec spec;
    spec.output.fps = 60;
    spec.zoom.zoomFactor = zoomFactor;
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = speedList.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(speedList.substr(start, end - start));
    lines.push_back(speedList.substr(start));
    spec.timeline.speedSpecs = zr::speedTrackOf(lines);
    spec.timeline.timeType = zr::kTimeTypeTime;
    long long frames = 0;
    for (auto _ : state) {
        const auto plan = zr::planMovie(spec, keyFrameCount);
        frames = plan ? plan->totalFrames : -1;
        benchmark::DoNotOptimize(frames);
    }
    state.counters["movie_frames"] = static_cast<double>(frames);
}

// One key frame after a second of the movie takes the rest of the 24 hours: the base speed
// grows far beyond the stretch's frames.
BENCHMARK_CAPTURE(planBench, one_key_frame_for_24h, "1\t00:00:01\n2\t24:00:00", 3, 2.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(planBench, one_key_frame_for_24h_zoom_16, "1\t00:00:01\n2\t24:00:00", 3, 16.0)
    ->Unit(benchmark::kMillisecond);
// The hang: a 10-hour stretch after two quick key frames.
BENCHMARK_CAPTURE(planBench, ten_hour_stretch, "0\t00:00\n1\t00:01\n2\t10:00:00", 3, 2.0)
    ->Unit(benchmark::kMillisecond);
// A key frame of 24 hours, then one of a second: the base speed falls instead.
BENCHMARK_CAPTURE(planBench, 24h_then_one_second, "1\t24:00:00\n2\t24:00:01", 3, 2.0)
    ->Unit(benchmark::kMillisecond);
// Stamps at random over 24 hours.
BENCHMARK_CAPTURE(planBench, 50_random_stamps, randomStamps(50, 1), 51, 2.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(planBench, 1000_random_stamps, randomStamps(1000, 2), 1001, 2.0)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
