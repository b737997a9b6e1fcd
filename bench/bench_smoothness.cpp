// How smoothly a movie zooms, with sub-pixel zoom off and on, beside ffmpeg's zoompan on the
// same zoom. Generated key frames (4 of them, 2x apart) are rendered at several speeds; for
// every pair of consecutive frames a least-squares fit finds the magnification that best maps
// one frame onto the next (bilinear resampling about the centre, with a free centre shift). Of
// the log of that step the table gives the spread (std / mean), the largest deviation from the
// mean, the backward steps, the largest centre shift and the worst step across a key frame
// switch against the mean of the two steps on either side. Then: the filter that magnifies
// (Catmull-Rom or Lanczos-2, on stored values or in linear light), the supersampling factors,
// the sharpness of sub-pixel frames against whole-pixel ones, and the cost of a whole render.
//
//   bench_smoothness [--quick]     (--quick: 640 x 360 only, speeds 25 and 100)
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "coloring/exact_resample.h"
#include "coloring/render_key_frame.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/mandelbrot.h"
#include "movie/frame_composer.h"
#include "movie/frame_loop.h"
#include "movie/frame_renderer.h"
#include "movie/render_job.h"
#include "movie/render_session.h"
#include "settings/movie_spec.h"
#include "settings/render_host.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zr::FrameImage;

constexpr int kKeyFrames = 4;
constexpr double kWidestView = 0.02;  // detail everywhere in the picture
// Pictures are smoothed with a Gaussian of this many pixels before they are fitted.
constexpr double kSmoothing = 1.5;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// ---------------------------------------------------------------------------------------------
// Grey pictures and the fit of one frame onto the next.

struct Grey {
    int width = 0;
    int height = 0;
    std::vector<float> values;
    float at(int x, int y) const { return values[static_cast<std::size_t>(y) * width + x]; }
};

Grey greyOf(const FrameImage& picture) {
    Grey grey{picture.width(), picture.height(), {}};
    grey.values.resize(static_cast<std::size_t>(grey.width) * grey.height);
    for (int y = 0; y < grey.height; ++y) {
        const std::uint8_t* row = picture.row(y);
        for (int x = 0; x < grey.width; ++x) {
            grey.values[static_cast<std::size_t>(y) * grey.width + x] =
                0.114f * row[3 * x] + 0.587f * row[3 * x + 1] + 0.299f * row[3 * x + 2];
        }
    }
    return grey;
}

// The grey picture smoothed with a Gaussian of `sigma` pixels. Detail at the pixel's own scale
// is where any resampling (the fit's bilinear one included) differs from an exact zoom; smoothed
// pictures leave the fit with the geometry of the zoom.
Grey smoothed(const Grey& grey, double sigma) {
    const int radius = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<float> kernel(static_cast<std::size_t>(2 * radius + 1));
    float total = 0.0f;
    for (int i = -radius; i <= radius; ++i) {
        kernel[static_cast<std::size_t>(i + radius)] =
            static_cast<float>(std::exp(-0.5 * i * i / (sigma * sigma)));
        total += kernel[static_cast<std::size_t>(i + radius)];
    }
    for (float& k : kernel)
        k /= total;
    Grey across{grey.width, grey.height, std::vector<float>(grey.values.size())};
    for (int y = 0; y < grey.height; ++y) {
        for (int x = 0; x < grey.width; ++x) {
            float sum = 0.0f;
            for (int i = -radius; i <= radius; ++i)
                sum += kernel[static_cast<std::size_t>(i + radius)] *
                       grey.at(std::clamp(x + i, 0, grey.width - 1), y);
            across.values[static_cast<std::size_t>(y) * grey.width + x] = sum;
        }
    }
    Grey result{grey.width, grey.height, std::vector<float>(grey.values.size())};
    for (int y = 0; y < grey.height; ++y) {
        for (int x = 0; x < grey.width; ++x) {
            float sum = 0.0f;
            for (int i = -radius; i <= radius; ++i)
                sum += kernel[static_cast<std::size_t>(i + radius)] *
                       across.at(x, std::clamp(y + i, 0, grey.height - 1));
            result.values[static_cast<std::size_t>(y) * grey.width + x] = sum;
        }
    }
    return result;
}

Grey halved(const Grey& grey) {
    Grey half{grey.width / 2, grey.height / 2, {}};
    half.values.resize(static_cast<std::size_t>(half.width) * half.height);
    for (int y = 0; y < half.height; ++y) {
        for (int x = 0; x < half.width; ++x) {
            half.values[static_cast<std::size_t>(y) * half.width + x] =
                0.25f * (grey.at(2 * x, 2 * y) + grey.at(2 * x + 1, 2 * y) +
                         grey.at(2 * x, 2 * y + 1) + grey.at(2 * x + 1, 2 * y + 1));
        }
    }
    return half;
}

// Bilinear value and gradient of a grey picture at (x, y), pixel centres at whole numbers.
struct Sample {
    float value, dx, dy;
};
Sample sampleAt(const Grey& grey, double x, double y) {
    x = std::clamp(x, 0.0, grey.width - 1.001);
    y = std::clamp(y, 0.0, grey.height - 1.001);
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    const float fx = static_cast<float>(x - x0);
    const float fy = static_cast<float>(y - y0);
    const float a = grey.at(x0, y0);
    const float b = grey.at(x0 + 1, y0);
    const float c = grey.at(x0, y0 + 1);
    const float d = grey.at(x0 + 1, y0 + 1);
    const float top = a + fx * (b - a);
    const float bottom = c + fx * (d - c);
    return {top + fy * (bottom - top), (b - a) + fy * (d - c - b + a), bottom - top};
}

struct Fit {
    double logStep = 0.0;   // ln of the magnification from one frame to the next
    double shift = 0.0;     // the centre's shift, pixels
    double residual = 0.0;  // RMS of the difference left after the fit, grey levels
};

// Least squares (Gauss-Newton) of next(x) = previous(c + (x - c) * s + d) over the middle 84 %
// of the picture, starting from the magnification 1 / s = `guess`.
struct FitState {
    double s, dx, dy;
};
double fitLevel(const Grey& previous, const Grey& next, FitState& state, int iterations) {
    const double cx = (next.width - 1) / 2.0;
    const double cy = (next.height - 1) / 2.0;
    const int marginX = next.width * 8 / 100;
    const int marginY = next.height * 8 / 100;
    double residual = 0.0;
    for (int iteration = 0; iteration < iterations; ++iteration) {
        double a[3][3] = {};
        double b[3] = {};
        double squares = 0.0;
        long long count = 0;
        for (int y = marginY; y < next.height - marginY; ++y) {
            const double qy = cy + (y - cy) * state.s + state.dy;
            for (int x = marginX; x < next.width - marginX; ++x) {
                const double qx = cx + (x - cx) * state.s + state.dx;
                const Sample p = sampleAt(previous, qx, qy);
                const double r = p.value - next.at(x, y);
                const double j[3] = {p.dx * (x - cx) + p.dy * (y - cy), p.dx, p.dy};
                for (int u = 0; u < 3; ++u) {
                    b[u] += j[u] * r;
                    for (int v = 0; v < 3; ++v)
                        a[u][v] += j[u] * j[v];
                }
                squares += r * r;
                ++count;
            }
        }
        residual = std::sqrt(squares / std::max<long long>(count, 1));
        // Solve a * delta = -b (Cramer's rule on the 3 x 3 system).
        auto det = [](const double m[3][3]) {
            return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                   m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                   m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
        };
        const double whole = det(a);
        if (whole == 0.0)
            break;
        double delta[3];
        for (int u = 0; u < 3; ++u) {
            double m[3][3];
            std::memcpy(m, a, sizeof m);
            for (int v = 0; v < 3; ++v)
                m[v][u] = -b[v];
            delta[u] = det(m) / whole;
        }
        state.s += delta[0];
        state.dx += delta[1];
        state.dy += delta[2];
        if (std::fabs(delta[0]) < 1e-9 && std::fabs(delta[1]) < 1e-5 && std::fabs(delta[2]) < 1e-5)
            break;
    }
    return residual;
}

Fit fitStep(const Grey& previous, const Grey& next, double guess) {
    FitState state{1.0 / guess, 0.0, 0.0};
    // Coarse to fine: a quarter and half the size first.
    const Grey previousHalf = halved(previous);
    const Grey nextHalf = halved(next);
    const Grey previousQuarter = halved(previousHalf);
    const Grey nextQuarter = halved(nextHalf);
    fitLevel(previousQuarter, nextQuarter, state, 4);
    state.dx *= 2.0;
    state.dy *= 2.0;
    fitLevel(previousHalf, nextHalf, state, 4);
    state.dx *= 2.0;
    state.dy *= 2.0;
    const double residual = fitLevel(previous, next, state, 12);
    return {-std::log(state.s), std::hypot(state.dx, state.dy), residual};
}

// ---------------------------------------------------------------------------------------------
// The figures of one movie.

struct Step {
    Fit fit;
    bool acrossSwitch = false;
};

struct Figures {
    int pairs = 0;
    double spread = 0.0;  // std / mean of the log step
    double largestDeviation = 0.0;
    int backward = 0;
    double largestShift = 0.0;
    double worstSwitch = 0.0;  // largest |switch step / mean of its neighbours - 1|
    int switches = 0;
    double residual = 0.0;  // mean RMS left after the fit
    double millisecondsPerFrame = 0.0;
};

Figures figuresOf(const std::vector<Step>& steps) {
    Figures figures;
    figures.pairs = static_cast<int>(steps.size());
    if (steps.empty())
        return figures;
    double sum = 0.0;
    for (const Step& step : steps)
        sum += step.fit.logStep;
    const double mean = sum / steps.size();
    double squares = 0.0;
    for (const Step& step : steps) {
        const double d = step.fit.logStep - mean;
        squares += d * d;
        figures.largestDeviation = std::max(figures.largestDeviation, std::fabs(d / mean));
        figures.backward += step.fit.logStep < 0.0 ? 1 : 0;
        figures.largestShift = std::max(figures.largestShift, step.fit.shift);
        figures.residual += step.fit.residual / steps.size();
    }
    figures.spread = std::sqrt(squares / steps.size()) / std::fabs(mean);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (!steps[i].acrossSwitch)
            continue;
        double around = 0.0;
        int count = 0;
        for (int k = -2; k <= 2; ++k) {
            const long long j = static_cast<long long>(i) + k;
            if (k == 0 || j < 0 || j >= static_cast<long long>(steps.size()))
                continue;
            around += steps[static_cast<std::size_t>(j)].fit.logStep;
            ++count;
        }
        if (count > 0) {
            ++figures.switches;
            figures.worstSwitch = std::max(
                figures.worstSwitch, std::fabs(steps[i].fit.logStep / (around / count) - 1.0));
        }
    }
    return figures;
}

// Fits each frame onto the one before it as the frames come.
class StepRecorder {
  public:
    explicit StepRecorder(double guess) : guess_(guess) {}
    void add(const FrameImage& frame, int keyFrame) {
        Grey grey = smoothed(greyOf(frame), kSmoothing);
        if (!previous_.values.empty()) {
            steps.push_back({fitStep(previous_, grey, guess_), keyFrame != previousKeyFrame_});
        }
        previous_ = std::move(grey);
        previousKeyFrame_ = keyFrame;
    }
    std::vector<Step> steps;

  private:
    double guess_;
    Grey previous_;
    int previousKeyFrame_ = -1;
};

// ---------------------------------------------------------------------------------------------
// Key frames and movies.

class BenchFolder {
  public:
    BenchFolder() {
        std::string pattern = (fs::temp_directory_path() / "zr_bench_smooth_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder");
        root_ = pattern;
    }
    ~BenchFolder() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    // Key frames of width x height (made once).
    std::string keyFrames(int width, int height) {
        const fs::path folder = root_ / ("keyframes_" + std::to_string(width));
        if (!fs::exists(folder)) {
            zr::KeyFrameSeries series;
            series.folder = folder.string();
            series.count = kKeyFrames;
            series.pixelWidth = width;
            series.pixelHeight = height;
            series.maxIteration = 3000;
            series.widestWidth = kWidestView;
            std::string error;
            if (!zr::makeKeyFrameSeries(series, {}, &error))
                throw std::runtime_error("cannot make key frames: " + error);
        }
        return folder.string();
    }
    // The widest view rendered at twice the size, coloured as the run colours its key frames.
    std::string bigPicture(int width, int height) {
        const fs::path path = root_ / ("big_" + std::to_string(width) + ".png");
        if (fs::exists(path))
            return path.string();
        zr::KeyFrameSeries big;
        big.folder = (root_ / ("big_" + std::to_string(width))).string();
        big.count = 1;
        big.pixelWidth = 2 * width;
        big.pixelHeight = 2 * height;
        big.maxIteration = 3000;
        big.widestWidth = kWidestView;
        std::string error;
        if (!zr::makeKeyFrameSeries(big, {}, &error))
            throw std::runtime_error("cannot make the big key frame: " + error);
        const std::string file = fs::directory_iterator(big.folder)->path().string();
        zr::KeyFrameCache cache;
        zr::ColourState colour;
        if (const zr::KeyFrame* keyFrame = cache.load(file))
            zr::takeKeyFrameHeader(*keyFrame, colour);
        zr::TextureSpec noTexture;
        noTexture.texture = false;
        const zr::OptionalImage picture = zr::renderKeyFrame(
            cache, file,
            zr::makeColoringPlan(zr::ColoringSpec{}, noTexture, colour, nullptr, 1.0, 1.0));
        if (!picture || !zr::savePng(*picture, path.string(), &error))
            throw std::runtime_error("cannot make the big picture: " + error);
        return path.string();
    }
    fs::path root() const { return root_; }

  private:
    fs::path root_;
};

struct MovieCase {
    int width = 640;
    int height = 360;
    int speed = 100;
    bool subpixel = false;
    int supersample = 1;
};

zr::MovieSpec specOf(const std::string& folder, const MovieCase& movie) {
    zr::MovieSpec spec;
    spec.output.folderPattern = folder + "/*.zmb";
    spec.output.movieWidth = movie.width;
    spec.output.movieHeight = movie.height;
    spec.output.fps = 30;
    spec.output.framesPerMovie = 1000000;
    spec.zoom.mergeCount = 5;
    spec.zoom.zoomFactor = 2.0;
    spec.zoom.subpixelZoom = movie.subpixel;
    spec.zoom.supersample = movie.supersample;
    spec.texture.texture = false;
    spec.zoomText.showZoomText = false;
    spec.timeline.speedSpecs = zr::speedTrackOf({"0\t" + std::to_string(movie.speed)});
    return spec;
}

// Makes the frames of the movie as a run makes them, up to `frames` of them, and hands each to
// `take` with its key frame. Returns the seconds spent making pictures.
class FrameTaker : public zr::RunHooks {
  public:
    FrameTaker(zr::FrameRenderer& renderer,
               std::function<void(const FrameImage&, const zr::RunState&)> take)
        : renderer_(renderer), take_(std::move(take)) {}
    void compose(const zr::RunState& state) override {
        const Clock::time_point start = Clock::now();
        renderer_.compose(state);
        busy += seconds(start);
    }
    void outputFrame(const zr::RunState& state, const zr::FrameView& view,
                     std::optional<double> column) override {
        const Clock::time_point start = Clock::now();
        const FrameImage* picture = renderer_.drawFrame(state, view, column).movieFile;
        busy += seconds(start);
        take_(*picture, state);
    }
    double busy = 0.0;

  private:
    zr::FrameRenderer& renderer_;
    std::function<void(const FrameImage&, const zr::RunState&)> take_;
};

double makeFrames(const zr::MovieSpec& spec, long long frames,
                  const std::function<void(const FrameImage&, const zr::RunState&)>& take) {
    zr::MovieRun run{spec, zr::listRunKeyFrames(spec)};
    zr::RenderSession session;
    zr::FrameRenderer renderer(run, session);
    FrameTaker taker(renderer, take);
    zr::FrameLoop::Options options;
    options.hooks = &taker;
    zr::FrameLoop loop(run, session, options);
    zr::RunState state;
    if (!loop.start(state, session.colours))
        throw std::runtime_error("the run does not start");
    renderer.startRun(state);
    long long made = 0;
    while (made < frames && loop.step(state, true))
        ++made;
    return taker.busy / std::max<long long>(made, 1);
}

// Frames of the movie: every key frame but the last, and the first `speed` frames of the last
// (where the view magnifies the deepest key frame).
long long framesMeasured(const MovieCase& movie) {
    return static_cast<long long>(kKeyFrames) * movie.speed;
}

Figures measureMovie(BenchFolder& folder, const MovieCase& movie) {
    const zr::MovieSpec spec = specOf(folder.keyFrames(movie.width, movie.height), movie);
    StepRecorder recorder(std::pow(2.0, 1.0 / movie.speed));
    const double perFrame = makeFrames(spec, framesMeasured(movie),
                                       [&](const FrameImage& frame, const zr::RunState& s) {
                                           recorder.add(frame, s.counters.keyFrame);
                                       });
    if (const char* dump = std::getenv("ZR_BENCH_STEPS")) {
        // Every step of the movie, for a closer look.
        std::ofstream out(std::string(dump) + "_" + std::to_string(movie.width) + "_" +
                          std::to_string(movie.speed) + (movie.subpixel ? "_on" : "_off") + ".txt");
        for (const Step& step : recorder.steps) {
            out << step.fit.logStep << ' ' << step.fit.shift << ' ' << step.fit.residual << ' '
                << step.acrossSwitch << '\n';
        }
    }
    Figures figures = figuresOf(recorder.steps);
    figures.millisecondsPerFrame = 1000.0 * perFrame;
    return figures;
}

// The zoompan filter of the ffmpeg program zooming from the widest view by 2 over `speed`
// frames, the zoom of one key frame, from the widest view made at twice the movie size.
std::optional<Figures> measureZoompan(BenchFolder& folder, const MovieCase& movie) {
    const std::string big = folder.bigPicture(movie.width, movie.height);
    const std::string raw = (folder.root() / "zoompan.raw").string();
    const std::string frames = std::to_string(movie.speed);
    const std::string command = "ffmpeg -v error -y -i '" + big + "' -vf \"zoompan=z='pow(2,on/" +
                                frames + ")':x='iw/2-iw/zoom/2':y='ih/2-ih/zoom/2':d=" + frames +
                                ":s=" + std::to_string(movie.width) + "x" +
                                std::to_string(movie.height) + ":fps=30\" -frames:v " + frames +
                                " -f rawvideo -pix_fmt bgr24 '" + raw + "'";
    const Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) != 0)
        return std::nullopt;
    const double elapsed = seconds(start);
    std::ifstream file(raw, std::ios::binary);
    StepRecorder recorder(std::pow(2.0, 1.0 / movie.speed));
    FrameImage frame(movie.width, movie.height);
    std::vector<char> row(static_cast<std::size_t>(movie.width) * 3);
    int count = 0;
    while (file) {
        for (int y = 0; y < movie.height && file; ++y) {
            file.read(row.data(), static_cast<std::streamsize>(row.size()));
            std::memcpy(frame.row(y), row.data(), row.size());
        }
        if (!file)
            break;
        recorder.add(frame, 0);
        ++count;
    }
    std::error_code ignored;
    fs::remove(raw, ignored);
    Figures figures = figuresOf(recorder.steps);
    figures.millisecondsPerFrame = 1000.0 * elapsed / std::max(count, 1);
    return figures;
}

void printHeader() {
    std::printf("%-10s %5s %-14s %6s %8s %8s %5s %8s %8s %8s %9s\n", "size", "speed", "movie",
                "pairs", "spread", "largest", "back", "shift", "switch", "residual", "ms/frame");
}

void printRow(const MovieCase& movie, const char* name, const Figures& f) {
    char switchText[16];
    if (f.switches > 0)
        std::snprintf(switchText, sizeof switchText, "%7.2f%%", 100.0 * f.worstSwitch);
    else
        std::snprintf(switchText, sizeof switchText, "%8s", "-");
    std::printf("%4dx%-5d %5d %-14s %6d %7.2f%% %7.2f%% %5d %6.3fpx %s %8.2f %9.2f\n", movie.width,
                movie.height, movie.speed, name, f.pairs, 100.0 * f.spread,
                100.0 * f.largestDeviation, f.backward, f.largestShift, switchText, f.residual,
                f.millisecondsPerFrame);
}

bool meetsGoals(const Figures& f) {
    return f.spread <= 0.02 && f.largestDeviation <= 0.05 && f.backward == 0 &&
           f.largestShift <= 0.1 && f.worstSwitch <= 0.02;
}

// ---------------------------------------------------------------------------------------------
// The filter that magnifies: the deepest key frame alone, magnified by 2 over `speed` frames.

void compareMagnifyFilters(BenchFolder& folder, const MovieCase& movie) {
    const zr::MovieSpec spec = specOf(folder.keyFrames(movie.width, movie.height), movie);
    const std::vector<std::string> keyFrames = zr::listRunKeyFrames(spec);
    zr::KeyFrameCache cache;
    zr::ColourState colour;
    if (const zr::KeyFrame* keyFrame = cache.load(keyFrames.front()))
        zr::takeKeyFrameHeader(*keyFrame, colour);
    const zr::OptionalImage deepest = zr::renderKeyFrame(
        cache, keyFrames.back(),
        zr::makeColoringPlan(spec.coloring, spec.texture, colour, nullptr, 1.0, 1.0));
    if (!deepest)
        throw std::runtime_error("cannot colour the deepest key frame");
    const int composedWidth = 2 * movie.width;
    const int composedHeight = 2 * movie.height;

    struct Variant {
        const char* name;
        zr::MagnifyFilter filter;
        bool linear;
    };
    const Variant variants[] = {
        {"Catmull-Rom", zr::MagnifyFilter::kCatmullRom, false},
        {"Catmull-Rom linear", zr::MagnifyFilter::kCatmullRom, true},
        {"Lanczos-2", zr::MagnifyFilter::kLanczos2, false},
        {"Lanczos-2 linear", zr::MagnifyFilter::kLanczos2, true},
    };
    std::printf(
        "\nThe filter that magnifies: the deepest key frame magnified from 1x to 4x over %d "
        "frames, %dx%d\n",
        2 * movie.speed, movie.width, movie.height);
    std::printf("%-20s %8s %8s %8s %10s %9s\n", "filter", "spread", "largest", "residual",
                "sharpness", "ms/frame");
    for (const Variant& variant : variants) {
        zr::ExactSampling sampling;
        sampling.magnify = variant.filter;
        sampling.linearLight = variant.linear;
        sampling.threads = 1;
        StepRecorder recorder(std::pow(2.0, 1.0 / movie.speed));
        FrameImage frame(movie.width, movie.height);
        double busy = 0.0;
        double sharpness = 0.0;
        const int frames = 2 * movie.speed;
        for (int i = 0; i < frames; ++i) {
            const Clock::time_point start = Clock::now();
            zr::viewFrameExact(*deepest, composedWidth, composedHeight,
                               std::pow(2.0, -static_cast<double>(i) / movie.speed), frame,
                               sampling);
            busy += seconds(start);
            recorder.add(frame, 0);
            // Mean gradient of the grey picture: what an interpolation keeps of the detail.
            const Grey grey = greyOf(frame);
            double gradient = 0.0;
            for (int y = 1; y < grey.height; ++y) {
                for (int x = 1; x < grey.width; ++x) {
                    gradient += std::hypot(grey.at(x, y) - grey.at(x - 1, y),
                                           grey.at(x, y) - grey.at(x, y - 1));
                }
            }
            sharpness += gradient / (static_cast<double>(grey.width - 1) * (grey.height - 1));
        }
        const Figures f = figuresOf(recorder.steps);
        std::printf("%-20s %7.2f%% %7.2f%% %8.3f %10.3f %9.2f\n", variant.name, 100.0 * f.spread,
                    100.0 * f.largestDeviation, f.residual, sharpness / frames,
                    1000.0 * busy / frames);
    }
}

// ---------------------------------------------------------------------------------------------
// Sharpness: sub-pixel frames against the whole-pixel frames of the same movie.

void compareSharpness(BenchFolder& folder, MovieCase movie) {
    const std::string keyFrames = folder.keyFrames(movie.width, movie.height);
    const int every = std::max(1, movie.speed / 10);
    std::vector<Grey> wholePixel;
    movie.subpixel = false;
    makeFrames(specOf(keyFrames, movie), static_cast<long long>(kKeyFrames - 1) * movie.speed,
               [&](const FrameImage& frame, const zr::RunState& state) {
                   if (state.counters.framesCounted % every == 0)
                       wholePixel.push_back(greyOf(frame));
               });
    std::vector<Grey> subpixel;
    movie.subpixel = true;
    makeFrames(specOf(keyFrames, movie), static_cast<long long>(kKeyFrames - 1) * movie.speed,
               [&](const FrameImage& frame, const zr::RunState& state) {
                   if (state.counters.framesCounted % every == 0)
                       subpixel.push_back(greyOf(frame));
               });
    auto gradientOf = [](const Grey& grey) {
        double sum = 0.0;
        for (int y = 1; y < grey.height; ++y) {
            for (int x = 1; x < grey.width; ++x) {
                sum += std::hypot(grey.at(x, y) - grey.at(x - 1, y),
                                  grey.at(x, y) - grey.at(x, y - 1));
            }
        }
        return sum / (static_cast<double>(grey.width - 1) * (grey.height - 1));
    };
    std::vector<double> residuals;
    std::vector<double> ratios;
    double largestScale = 0.0;
    for (std::size_t i = 0; i < std::min(wholePixel.size(), subpixel.size()); ++i) {
        const Fit fit = fitStep(wholePixel[i], subpixel[i], 1.0);
        largestScale = std::max(largestScale, std::fabs(fit.logStep));
        residuals.push_back(fit.residual);
        ratios.push_back(gradientOf(subpixel[i]) / gradientOf(wholePixel[i]));
    }
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[values.size() / 2];
    };
    auto low = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
    };
    std::printf(
        "\nSharpness, %dx%d speed %d, %zu frames of the key frames before the last: "
        "sub-pixel frame aligned onto the whole-pixel frame (scale and shift fitted)\n",
        movie.width, movie.height, movie.speed, residuals.size());
    std::printf(
        "  largest scale between them %.4f%%, RMS difference after alignment: median %.3f "
        "grey levels; mean gradient sub-pixel / whole-pixel: median %.4f, lowest %.4f\n",
        100.0 * largestScale, median(residuals), median(ratios), low(ratios));
}

// ---------------------------------------------------------------------------------------------
// Cost: whole renders into uncompressed "DIB " files, off and on alternately.

class CostHost : public zr::NullRenderHost {
  public:
    CostHost(zr::RenderSession& session, long long frames) : session_(session), frames_(frames) {}
    bool chooseCompressor(zr::CompressorChoice& choice) override {
        choice = zr::CompressorChoice{"DIB ", 1, 10000};
        return true;
    }
    void progress(long long done, long long) override {
        if (done >= frames_)
            session_.requestStop();
    }

  private:
    zr::RenderSession& session_;
    long long frames_;
};

double renderSeconds(BenchFolder& folder, const MovieCase& movie) {
    const std::string keyFrames = folder.keyFrames(movie.width, movie.height);
    std::error_code ignored;
    fs::remove(keyFrames + "/film.avi", ignored);
    zr::RenderSession session;
    CostHost host(session, framesMeasured(movie));
    const Clock::time_point start = Clock::now();
    const zr::RenderOutcome outcome = zr::runRenderJob(specOf(keyFrames, movie), session, host);
    const double elapsed = seconds(start);
    fs::remove(keyFrames + "/film.avi", ignored);
    if (!outcome.done)
        throw std::runtime_error("the render failed: " + outcome.failure);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    std::vector<std::pair<int, int>> sizes = {{640, 360}, {1280, 720}};
    std::vector<int> speeds = {25, 100, 400};
    if (quick) {
        sizes = {{640, 360}};
        speeds = {25, 100};
    }
    try {
        BenchFolder folder;
        if (argc == 5 && std::strcmp(argv[1], "--case") == 0) {
            // --case WIDTH HEIGHT SPEED: the two movies of one line of the table.
            MovieCase movie{std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), false, 1};
            printHeader();
            printRow(movie, "whole-pixel", measureMovie(folder, movie));
            movie.subpixel = true;
            printRow(movie, "sub-pixel", measureMovie(folder, movie));
            return 0;
        }
        std::printf(
            "Zoom smoothness: %d key frames 2x apart, merge count 5; per pair of frames the "
            "log of the fitted zoom step.\nspread = std/mean, largest = largest deviation "
            "from the mean, back = backward steps, shift = largest centre shift,\nswitch = "
            "worst step across a key frame switch against its neighbours, residual = mean "
            "RMS left after the fit.\n\n",
            kKeyFrames);
        printHeader();
        bool goalsMet = true;
        for (const auto& [width, height] : sizes) {
            for (const int speed : speeds) {
                MovieCase movie{width, height, speed, false, 1};
                printRow(movie, "whole-pixel", measureMovie(folder, movie));
                movie.subpixel = true;
                const Figures subpixel = measureMovie(folder, movie);
                printRow(movie, "sub-pixel", subpixel);
                goalsMet = goalsMet && meetsGoals(subpixel);
                if (const std::optional<Figures> zoompan = measureZoompan(folder, movie))
                    printRow(movie, "ffmpeg zoompan", *zoompan);
                else
                    std::printf("%4dx%-5d %5d %-14s (the ffmpeg program failed)\n", width, height,
                                speed, "ffmpeg zoompan");
                std::fflush(stdout);
            }
        }

        std::printf("\nSupersampling, sub-pixel zoom\n");
        printHeader();
        for (int n = 1; n <= zr::kMaxSupersample; ++n) {
            const MovieCase movie{640, 360, 100, true, n};
            char name[32];
            std::snprintf(name, sizeof name, "supersample %d", n);
            printRow(movie, name, measureMovie(folder, movie));
        }

        compareMagnifyFilters(folder, MovieCase{640, 360, 100, true, 1});
        compareSharpness(folder, MovieCase{640, 360, 100, true, 1});

        std::printf(
            "\nCost: whole renders into \"DIB \" files, %d frames each, off and on "
            "alternately, three times\n",
            kKeyFrames * 100);
        double worstRatio = 0.0;
        for (const auto& [width, height] : sizes) {
            std::vector<double> off;
            std::vector<double> on;
            for (int repeat = 0; repeat < 3; ++repeat) {
                off.push_back(renderSeconds(folder, MovieCase{width, height, 100, false, 1}));
                on.push_back(renderSeconds(folder, MovieCase{width, height, 100, true, 1}));
            }
            std::sort(off.begin(), off.end());
            std::sort(on.begin(), on.end());
            const double ratio = on[1] / off[1];
            worstRatio = std::max(worstRatio, ratio);
            std::printf("  %dx%d: median %.2f s off, %.2f s on, ratio %.2f\n", width, height,
                        off[1], on[1], ratio);
        }
        std::printf(
            "\nGoals (sub-pixel: spread <= 2 %%, largest deviation <= 5 %%, no backward "
            "step, centre shift <= 0.1 px, switch within 2 %%; cost <= 1.5x): %s\n",
            goalsMet && worstRatio <= 1.5 ? "met" : "NOT met");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_smoothness: %s\n", error.what());
        return 1;
    }
    return 0;
}
