// Movie writing speed: frames a second through AviWriter for the main compressors and through
// MovieWriter for the codecs of the other containers, and the same frames through the ffmpeg
// program with the same encoder, settings and pixel format, all at 960 x 540.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "output/avi_writer.h"
#include "output/movie_writer.h"
#include "support/frame_image.h"

extern "C" {
#include <libavutil/log.h>
}

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 960;
constexpr int kHeight = 540;
constexpr int kFrames = 60;

// A zoom-like picture: smooth bands that change from frame to frame.
std::vector<zr::FrameImage> makeFrames() {
    std::vector<zr::FrameImage> frames;
    for (int f = 0; f < kFrames; ++f) {
        zr::FrameImage frame(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t* pixel = frame.pixel(x, y);
                const int dx = x - kWidth / 2;
                const int dy = y - kHeight / 2;
                const int ring = (dx * dx + dy * dy) / (64 + f * 4);
                pixel[0] = static_cast<std::uint8_t>(ring * 7);
                pixel[1] = static_cast<std::uint8_t>(ring * 3 + x / 8);
                pixel[2] = static_cast<std::uint8_t>(255 - ring * 5);
            }
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

const std::vector<zr::FrameImage>& frames() {
    static const std::vector<zr::FrameImage> made = makeFrames();
    return made;
}

// A scratch folder for the movies, removed when the program ends.
class BenchFolder {
  public:
    BenchFolder() {
        std::string pattern = (fs::temp_directory_path() / "zr_bench_output_XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~BenchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

fs::path benchFolder() {
    static const BenchFolder folder;
    return folder.path();
}

struct Codec {
    const char* fourcc;
    const char* ffmpegArguments;  // the same encoder, settings and threads for the ffmpeg program
};

const Codec kCodecs[] = {
    {"DIB ", "-threads 1 -c:v rawvideo -pix_fmt bgr24"},
    {"MSVC", "-threads 1 -c:v msvideo1 -pix_fmt rgb555le -keyint_min 0"},
    {"MJPG", "-threads 1 -c:v mjpeg -pix_fmt yuvj420p -qmin 1 -q:v 1"},
    {"H264", "-c:v libx264 -pix_fmt yuv420p -crf 18 -g 1"},
    {"FFV1", "-threads 1 -c:v ffv1 -pix_fmt bgr0 -g 1"},
};

void BM_AviWriter(benchmark::State& state) {
    const Codec& codec = kCodecs[state.range(0)];
    av_log_set_level(AV_LOG_QUIET);
    const std::string path = (benchFolder() / "bench.avi").string();
    for (auto _ : state) {
        zr::AviWriter writer(path, 24, 30, 1, 100, codec.fourcc);
        bool written = true;
        for (const zr::FrameImage& frame : frames()) {
            written = written && writer.writeFrame(frame) == zr::WriteStatus::kOk;
        }
        if (writer.close() != zr::WriteStatus::kOk || !written) {
            state.SkipWithError(writer.errorText().c_str());
            break;
        }
    }
    state.SetLabel(codec.fourcc);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(kFrames),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AviWriter)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegProgram(benchmark::State& state) {
    const Codec& codec = kCodecs[state.range(0)];
    const fs::path raw = benchFolder() / "frames.bgr";
    if (!fs::exists(raw)) {
        std::ofstream out(raw, std::ios::binary);
        for (const zr::FrameImage& frame : frames()) {
            for (int y = 0; y < kHeight; ++y) {
                out.write(reinterpret_cast<const char*>(frame.row(y)), kWidth * 3);
            }
        }
    }
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt bgr24 "
        "-s 960x540 -r 30 -i '" +
        raw.string() + "' " + codec.ffmpegArguments + " '" +
        (benchFolder() / "ffmpeg.avi").string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the ffmpeg program failed");
            break;
        }
    }
    state.SetLabel(codec.fourcc);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(kFrames),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FfmpegProgram)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

struct MovieCodec {
    const char* file;
    zr::VideoRequest request;
    const char* ffmpegArguments;
};

const MovieCodec kMovieCodecs[] = {
    {"bench.mp4",
     {"h264", 23, "medium", "yuv420p"},
     "-c:v libx264 -crf 23 -preset medium -pix_fmt yuv420p -movflags +faststart"},
    {"bench.webm",
     {"vp9", 31, "realtime", "yuv420p"},
     "-c:v libvpx-vp9 -b:v 0 -crf 31 -deadline realtime -row-mt 1 -threads 2 -pix_fmt yuv420p"},
    {"bench.mov",
     {"prores", {}, "hq", "yuv422p10le"},
     "-c:v prores_ks -profile:v hq -pix_fmt yuv422p10le"},
    {"bench.mkv", {"ffv1", {}, "", "bgr0"}, "-c:v ffv1 -level 3 -slicecrc 1 -pix_fmt bgr0"},
};

void BM_MovieWriter(benchmark::State& state) {
    const MovieCodec& codec = kMovieCodecs[state.range(0)];
    av_log_set_level(AV_LOG_ERROR);
    const std::string path = (benchFolder() / codec.file).string();
    zr::VideoFormat format;
    std::string error;
    if (!zr::chooseVideoFormat(path, codec.request, format, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    for (auto _ : state) {
        zr::MovieWriter writer(path, {format, 30, {}});
        bool written = true;
        for (const zr::FrameImage& frame : frames()) {
            written = written && writer.writeFrame(frame) == zr::WriteStatus::kOk;
        }
        if (writer.close() != zr::WriteStatus::kOk || !written) {
            state.SkipWithError(writer.errorText().c_str());
            break;
        }
    }
    state.SetLabel(codec.file);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(kFrames),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_MovieWriter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegProgramMovie(benchmark::State& state) {
    const MovieCodec& codec = kMovieCodecs[state.range(0)];
    const fs::path raw = benchFolder() / "frames.bgr";
    if (!fs::exists(raw)) {
        std::ofstream out(raw, std::ios::binary);
        for (const zr::FrameImage& frame : frames()) {
            for (int y = 0; y < kHeight; ++y) {
                out.write(reinterpret_cast<const char*>(frame.row(y)), kWidth * 3);
            }
        }
    }
    const std::string command =
        "SVT_LOG=1 ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt bgr24 "
        "-s 960x540 -r 30 -i '" +
        raw.string() + "' " + codec.ffmpegArguments + " '" +
        (benchFolder() / (std::string("ffmpeg_") + codec.file)).string() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("the ffmpeg program failed");
            break;
        }
    }
    state.SetLabel(codec.file);
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(kFrames),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_FfmpegProgramMovie)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
