// Showing any frame of a 10-minute movie (18000 frames at 30 fps, 25 frames a key frame) as the
// dialog's timeline does: a jump to a random frame after the seeker has walked the run once (as
// the timeline does while idle), at 640 x 360 and 1280 x 720, without colour changes and with
// colour cycling; and playback, frame after frame from a random place, at 640 x 360. At
// 1920 x 1080, from key frames of that size: the first frame after a change of the settings (a
// new seeker of the same session, as the timeline makes one) and the jumps after it.
//
//   bench_seek [--benchmark_repetitions=3]
//
// The movie's 720 key frames are links to 8 computed 1280 x 720 key frames taken in turn, so the
// key frame cache reads and colours each one like a distinct file. "median_ms" is the median of
// the jumps (or frames) of one repetition.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "keyframes/mandelbrot.h"
#include "movie/frame_loop.h"
#include "movie/frame_seeker.h"
#include "movie/render_session.h"
#include "settings/movie_spec.h"
#include "support/thread_budget.h"

namespace {

// The benchmarks run on every processor the process may use, as the programs do.
zr::ProgramThreads& benchThreads() {
    static zr::ProgramThreads threads(zr::threadBudgetOf(zr::readProcessorLimits()));
    return threads;
}

}  // namespace

namespace {

namespace fs = std::filesystem;

constexpr int kDistinctKeyFrames = 8;
constexpr int kMovieKeyFrames = 720;
constexpr int kFramesPerKeyFrame = 25;

class SeekFolder {
  public:
    SeekFolder(int keyFrameWidth, int keyFrameHeight) {
        std::string pattern = (fs::temp_directory_path() / "zr_bench_seek_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        root_ = pattern;
        zr::KeyFrameSeries series;
        series.folder = (root_ / "distinct").string();
        series.count = kDistinctKeyFrames;
        series.pixelWidth = keyFrameWidth;
        series.pixelHeight = keyFrameHeight;
        series.maxIteration = 1000;
        std::string error;
        if (!zr::makeKeyFrameSeries(series, {}, &error, benchThreads().share())) {
            throw std::runtime_error("cannot make key frames: " + error);
        }
        std::vector<fs::path> distinct;
        for (const auto& entry : fs::directory_iterator(series.folder)) {
            distinct.push_back(entry.path());
        }
        std::sort(distinct.begin(), distinct.end());
        fs::create_directory(keyFrames());
        double zoom = 1.0;
        for (int number = kMovieKeyFrames; number >= 1; --number) {
            const fs::path link = fs::path(keyFrames()) / zr::keyFrameFileName(number, zoom);
            fs::create_symlink(distinct[static_cast<size_t>(number) % distinct.size()], link);
            zoom *= 2.0;
        }
    }
    ~SeekFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string keyFrames() const { return (root_ / "keyframes").string(); }

  private:
    fs::path root_;
};

// Key frames of 1280 x 720, and of 1920 x 1080 for the movies of that size.
SeekFolder& seekFolder(int movieWidth) {
    if (movieWidth > 1280) {
        static SeekFolder fullHd(1920, 1080);
        return fullHd;
    }
    static SeekFolder folder(1280, 720);
    return folder;
}

zr::MovieRun movieRun(int width, int height, bool colorCycling) {
    zr::MovieRun run;
    zr::MovieSpec& spec = run.spec;
    spec.output.folderPattern = seekFolder(width).keyFrames() + "/*.zmb";
    spec.output.movieWidth = width;
    spec.output.movieHeight = height;
    spec.output.fps = 30;
    spec.zoom.mergeCount = 5;
    spec.zoom.zoomFactor = 2.0;
    spec.texture.texture = false;
    spec.timeline.speedSpecs = zr::speedTrackOf({"0\t" + std::to_string(kFramesPerKeyFrame)});
    if (colorCycling) {
        spec.timeline.cycleSpecs = zr::cycleTrackOf({"0\t1"});
    }
    run.keyFrames = zr::listRunKeyFrames(run.spec);
    return run;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A seeker that has walked the whole run, as the timeline's is once it has been idle.
struct WalkedSeeker {
    WalkedSeeker(int width, int height, bool colorCycling)
        : seeker(movieRun(width, height, colorCycling), session) {
        if (!seeker.start() || !seeker.walkKeyFrames()) {
            throw std::runtime_error("the movie cannot be walked");
        }
    }
    zr::RenderSession session{benchThreads().share()};
    zr::FrameSeeker seeker;
};

void jump(benchmark::State& state, int width, int height, bool colorCycling) {
    WalkedSeeker walked(width, height, colorCycling);
    zr::FrameSeeker& seeker = walked.seeker;
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<long long> anyFrame(0, seeker.frameCount() - 1);
    std::vector<double> milliseconds;
    for (auto _ : state) {
        const long long target = anyFrame(random);
        const auto start = std::chrono::steady_clock::now();
        const auto made = seeker.frame(target);
        const auto end = std::chrono::steady_clock::now();
        if (!made) {
            state.SkipWithError("no frame made");
            break;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        milliseconds.push_back(seconds * 1000.0);
    }
    state.counters["movie_frames"] = static_cast<double>(seeker.frameCount());
    state.counters["median_ms"] = median(milliseconds);
}

// The first frame after a change: the timeline starts a new seeker of its session on the changed
// movie and makes the frame shown, its key frames not yet walked.
void firstFrameAfterChange(benchmark::State& state, int width, int height, bool colorCycling) {
    zr::RenderSession session(benchThreads().share());
    long long frameCount = 0;
    {
        zr::FrameSeeker probe(movieRun(width, height, colorCycling), session);
        if (!probe.start()) {
            state.SkipWithError("the movie cannot be planned");
            return;
        }
        frameCount = probe.frameCount();
    }
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<long long> anyFrame(0, frameCount - 1);
    std::vector<double> milliseconds;
    int change = 0;
    for (auto _ : state) {
        // A setting changed: here the start of the colour cycle, so each movie is a new one.
        zr::MovieRun run = movieRun(width, height, colorCycling);
        run.spec.start.startCycle = ++change;
        const long long target = anyFrame(random);
        const auto start = std::chrono::steady_clock::now();
        zr::FrameSeeker seeker(std::move(run), session);
        const bool made = seeker.start() && seeker.frame(target).has_value();
        const auto end = std::chrono::steady_clock::now();
        if (!made) {
            state.SkipWithError("no frame made");
            break;
        }
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        milliseconds.push_back(seconds * 1000.0);
    }
    state.counters["median_ms"] = median(milliseconds);
}

void play(benchmark::State& state, int width, int height, bool colorCycling) {
    WalkedSeeker walked(width, height, colorCycling);
    zr::FrameSeeker& seeker = walked.seeker;
    std::mt19937_64 random(20261207);
    long long frame =
        std::uniform_int_distribution<long long>(0, seeker.frameCount() - 400)(random);
    std::vector<double> milliseconds;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto made = seeker.frame(frame++);
        zr::FrameImage shown = *made->preview;  // what the timeline hands to the dialog
        benchmark::DoNotOptimize(shown);
        const auto end = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        milliseconds.push_back(seconds * 1000.0);
    }
    const double medianMs = median(milliseconds);
    state.counters["median_ms"] = medianMs;
    state.counters["frames_per_second"] = medianMs > 0.0 ? 1000.0 / medianMs : 0.0;
}

void BM_Jump640(benchmark::State& state) {
    jump(state, 640, 360, false);
}
void BM_Jump640ColorCycling(benchmark::State& state) {
    jump(state, 640, 360, true);
}
void BM_Jump1280(benchmark::State& state) {
    jump(state, 1280, 720, false);
}
void BM_Jump1280ColorCycling(benchmark::State& state) {
    jump(state, 1280, 720, true);
}
void BM_FirstFrameAfterChange1920(benchmark::State& state) {
    firstFrameAfterChange(state, 1920, 1080, false);
}
void BM_FirstFrameAfterChange1920ColorCycling(benchmark::State& state) {
    firstFrameAfterChange(state, 1920, 1080, true);
}
void BM_Jump1920(benchmark::State& state) {
    jump(state, 1920, 1080, false);
}
void BM_Play640(benchmark::State& state) {
    play(state, 640, 360, false);
}
void BM_Play640ColorCycling(benchmark::State& state) {
    play(state, 640, 360, true);
}

BENCHMARK(BM_Jump640)->Unit(benchmark::kMillisecond)->Iterations(30)->UseManualTime();
BENCHMARK(BM_Jump640ColorCycling)->Unit(benchmark::kMillisecond)->Iterations(30)->UseManualTime();
BENCHMARK(BM_Jump1280)->Unit(benchmark::kMillisecond)->Iterations(30)->UseManualTime();
BENCHMARK(BM_Jump1280ColorCycling)->Unit(benchmark::kMillisecond)->Iterations(30)->UseManualTime();
BENCHMARK(BM_FirstFrameAfterChange1920)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15)
    ->UseManualTime();
BENCHMARK(BM_FirstFrameAfterChange1920ColorCycling)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15)
    ->UseManualTime();
BENCHMARK(BM_Jump1920)->Unit(benchmark::kMillisecond)->Iterations(30)->UseManualTime();
BENCHMARK(BM_Play640)->Unit(benchmark::kMillisecond)->Iterations(300)->UseManualTime();
BENCHMARK(BM_Play640ColorCycling)->Unit(benchmark::kMillisecond)->Iterations(300)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
