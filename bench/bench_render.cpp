// A whole zoom movie end to end: key frames of 1280 x 720 rendered at 1280 x 720 with merge count
// 5, zoom factor 2 and speed 25 into uncompressed "DIB " frames, without colour changes and with
// colour cycling; and, in the same run, the ffmpeg program's zoompan making the same number of
// 1280 x 720 frames from one 2560 x 1440 picture with the same encoder.
//
//   bench_render [--benchmark_repetitions=3]     (ZR_BENCH_KEYFRAMES=N sets the key frame count)
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "coloring/render_key_frame.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/mandelbrot.h"
#include "movie/render_host.h"
#include "movie/render_job.h"
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

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

// The key frames and the big picture, made once for the whole run.
class BenchFolder {
  public:
    BenchFolder() {
        std::string pattern = (fs::temp_directory_path() / "zr_bench_render_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        root_ = pattern;
        const char* countText = std::getenv("ZR_BENCH_KEYFRAMES");
        zr::KeyFrameSeries series;
        series.folder = keyFrames();
        series.count = countText != nullptr ? std::max(2, std::atoi(countText)) : 11;
        series.pixelWidth = kWidth;
        series.pixelHeight = kHeight;
        series.maxIteration = 2000;
        std::string error;
        if (!zr::makeKeyFrameSeries(series, {}, &error, benchThreads().share())) {
            throw std::runtime_error("cannot make key frames: " + error);
        }
        zr::KeyFrameSeries big = series;
        big.folder = (root_ / "big").string();
        big.count = 1;
        big.pixelWidth = 2 * kWidth;
        big.pixelHeight = 2 * kHeight;
        if (!zr::makeKeyFrameSeries(big, {}, &error, benchThreads().share())) {
            throw std::runtime_error("cannot make the big key frame: " + error);
        }
        const fs::path bigKeyFrame = fs::directory_iterator(big.folder)->path();
        // Coloured as a run colours its first key frame, with the key colours it holds.
        zr::KeyFrameCache cache;
        const zr::KeyFrame* keyFrame = cache.load(bigKeyFrame.string());
        zr::ColorState color;
        if (keyFrame != nullptr) {
            zr::takeKeyFrameHeader(*keyFrame, color);
        }
        zr::TextureSpec noTexture;
        noTexture.texture = false;
        const zr::OptionalImage picture = zr::renderKeyFrame(
            cache, bigKeyFrame.string(),
            zr::makeColoringPlan(zr::ColoringSpec{}, noTexture, color, nullptr, 1.0, 1.0));
        if (!picture || !zr::savePng(*picture, bigPicture(), &error)) {
            throw std::runtime_error("cannot make the big picture: " + error);
        }
    }
    ~BenchFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string keyFrames() const { return (root_ / "keyframes").string(); }
    std::string bigPicture() const { return (root_ / "big.png").string(); }
    std::string movie() const { return (root_ / "keyframes" / "film.avi").string(); }
    std::string ffmpegMovie() const { return (root_ / "ffmpeg.avi").string(); }

  private:
    fs::path root_;
};

BenchFolder& benchFolder() {
    static BenchFolder folder;
    return folder;
}

// Frames made by the last render, so that ffmpeg makes as many.
long long& renderedFrames() {
    static long long frames = 0;
    return frames;
}

using BenchHost = zr::NullRenderHost;

void renderMovie(benchmark::State& state, bool colorCycling) {
    BenchFolder& folder = benchFolder();
    long long frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::error_code ignored;
        fs::remove(folder.movie(), ignored);
        zr::MovieSpec spec;
        spec.output.movieFile.codec = "DIB ";
        spec.output.folderPattern = folder.keyFrames() + "/*.zmb";
        spec.output.movieWidth = kWidth;
        spec.output.movieHeight = kHeight;
        spec.output.fps = 30;
        spec.output.framesPerMovie = 1000000;
        spec.zoom.mergeCount = 5;
        spec.zoom.zoomFactor = 2.0;
        spec.texture.texture = false;
        spec.timeline.speedSpecs = zr::speedTrackOf({"0\t25"});
        if (colorCycling) {
            spec.timeline.cycleSpecs = zr::cycleTrackOf({"0\t1"});
        }
        BenchHost host;
        zr::RenderSession session(benchThreads().share());
        state.ResumeTiming();
        const zr::RenderOutcome outcome = zr::runRenderJob(spec, session, host);
        if (!outcome.done || outcome.framesWritten != outcome.framesCounted) {
            state.SkipWithError("the render failed");
            break;
        }
        frames = outcome.framesWritten;
    }
    renderedFrames() = frames;
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["frames_per_second"] = benchmark::Counter(
        static_cast<double>(frames) * state.iterations(), benchmark::Counter::kIsRate);
}

void BM_RenderZoom(benchmark::State& state) {
    renderMovie(state, false);
}
void BM_RenderZoomColorCycling(benchmark::State& state) {
    renderMovie(state, true);
}

// The same number of frames through ffmpeg's zoompan: a centred zoom by 2 every 25 frames.
void BM_FfmpegZoompan(benchmark::State& state) {
    BenchFolder& folder = benchFolder();
    const long long frames = renderedFrames() > 0 ? renderedFrames() : 468;
    const std::string command =
        "ffmpeg -v error -y -loop 1 -i '" + folder.bigPicture() +
        "' -vf \"zoompan=z='pow(2,mod(on,25)/25)':x='iw/2-iw/zoom/2':y='ih/2-ih/zoom/2':d=" +
        std::to_string(frames) + ":s=1280x720:fps=30\" -frames:v " + std::to_string(frames) +
        " -c:v rawvideo -pix_fmt bgr24 '" + folder.ffmpegMovie() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed");
            break;
        }
    }
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["frames_per_second"] = benchmark::Counter(
        static_cast<double>(frames) * state.iterations(), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_RenderZoom)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FfmpegZoompan)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_RenderZoomColorCycling)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
