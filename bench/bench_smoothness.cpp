// How smoothly a movie zooms, with sub-pixel zoom off and on, beside ffmpeg's zoompan on the
// same zoom. Generated key frames (4 of them, 2x apart) are rendered at several speeds; for
// every pair of consecutive frames a least-squares fit finds the magnification that best maps
// one frame onto the next (both resampled half way about the centre, with cubic B-splines, and a
// free centre shift); an exact zoom of an analytic picture shows what the fit itself gives. Of
// the log of that step the table gives the spread (std / mean), the largest deviation from the
// mean, the backward steps, the largest centre shift and the worst step across a key frame
// switch against the mean of the two steps on either side. Then: the filter that magnifies
// (Catmull-Rom or Lanczos-2, on stored values or in linear light), the supersampling factors,
// the sharpness of sub-pixel frames against whole-pixel ones, and the cost of a whole render.
//
//   bench_smoothness [--quick | --size W H | --case W H SPEED]
//   (--quick: 640 x 360 only, speeds 25 and 100; --size: one size; --case: one line of the table)
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

// A grey picture as cubic B-spline coefficients: read between its pixels, it gives back the
// pixel values at the pixels and a smooth curve between them. Bilinear reading moves detail by
// up to a few hundredths of a pixel, by an amount that depends on where between the pixels it
// is read: across a frame that shifts by a fraction of a pixel from its centre to its edge,
// that is a false magnification of a few percent of a small step.
struct Spline {
    int width = 0;
    int height = 0;
    std::vector<float> coefficients;
};

// The coefficients of `count` values `stride` apart, in place (mirrored at both ends).
void splineFilter(float* values, int count, std::ptrdiff_t stride) {
    if (count < 2)
        return;
    const double pole = std::sqrt(3.0) - 2.0;
    std::vector<double> line(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        line[static_cast<std::size_t>(i)] = 6.0 * values[i * stride];
    double start = 0.0;
    double power = 1.0;
    for (int i = 0; i < std::min(count, 30); ++i) {
        start += power * line[static_cast<std::size_t>(i)];
        power *= pole;
    }
    line[0] = start;
    for (int i = 1; i < count; ++i)
        line[static_cast<std::size_t>(i)] += pole * line[static_cast<std::size_t>(i - 1)];
    const std::size_t last = static_cast<std::size_t>(count - 1);
    line[last] = pole / (pole * pole - 1.0) * (line[last] + pole * line[last - 1]);
    for (int i = count - 2; i >= 0; --i) {
        line[static_cast<std::size_t>(i)] =
            pole * (line[static_cast<std::size_t>(i + 1)] - line[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < count; ++i)
        values[i * stride] = static_cast<float>(line[static_cast<std::size_t>(i)]);
}

Spline splineOf(const Grey& grey) {
    Spline spline{grey.width, grey.height, grey.values};
    for (int y = 0; y < grey.height; ++y)
        splineFilter(spline.coefficients.data() + static_cast<std::size_t>(y) * grey.width,
                     grey.width, 1);
    for (int x = 0; x < grey.width; ++x)
        splineFilter(spline.coefficients.data() + x, grey.height, grey.width);
    return spline;
}

// Value and gradient of the picture at (x, y), pixel centres at whole numbers.
struct Sample {
    float value, dx, dy;
};
Sample sampleAt(const Spline& spline, double x, double y) {
    x = std::clamp(x, 1.0, spline.width - 3.001);
    y = std::clamp(y, 1.0, spline.height - 3.001);
    const int x0 = static_cast<int>(x);
    const int y0 = static_cast<int>(y);
    auto weights = [](double f, float* value, float* slope) {
        const double g = 1.0 - f;
        value[0] = static_cast<float>(g * g * g / 6.0);
        value[1] = static_cast<float>((3.0 * f * f * f - 6.0 * f * f + 4.0) / 6.0);
        value[2] = static_cast<float>((-3.0 * f * f * f + 3.0 * f * f + 3.0 * f + 1.0) / 6.0);
        value[3] = static_cast<float>(f * f * f / 6.0);
        slope[0] = static_cast<float>(-g * g / 2.0);
        slope[1] = static_cast<float>(1.5 * f * f - 2.0 * f);
        slope[2] = static_cast<float>(-1.5 * f * f + f + 0.5);
        slope[3] = static_cast<float>(f * f / 2.0);
    };
    float wx[4], sx[4], wy[4], sy[4];
    weights(x - x0, wx, sx);
    weights(y - y0, wy, sy);
    Sample sample{0.0f, 0.0f, 0.0f};
    for (int j = 0; j < 4; ++j) {
        const float* row = spline.coefficients.data() +
                           static_cast<std::size_t>(y0 - 1 + j) * spline.width + (x0 - 1);
        float value = 0.0f;
        float slope = 0.0f;
        for (int i = 0; i < 4; ++i) {
            value += wx[i] * row[i];
            slope += sx[i] * row[i];
        }
        sample.value += wy[j] * value;
        sample.dx += wy[j] * slope;
        sample.dy += sy[j] * value;
    }
    return sample;
}

struct Fit {
    double logStep = 0.0;   // ln of the magnification from one frame to the next
    double shift = 0.0;     // the centre's shift, pixels
    double residual = 0.0;  // RMS of the difference left after the fit, grey levels
};

// Least squares (Gauss-Newton) over the middle 84 % of the picture of
//   previous(c + (y - c) * e^(-t/2) + d/2) = next(c + (y - c) * e^(t/2) - d/2):
// the magnification e^t from one frame to the next and the centre shift d. Both pictures are
// resampled, half way each, so that what resampling does to a picture (a blur and a pull
// toward the pixel grid, both depending on the sub-pixel phase) is alike on both sides. With
// bilinear resampling of the previous picture only, an exact zoom by 2 over 400 frames came
// out 3 % short; now its mean step is within 0.2 % of the true one.
struct FitState {
    double logStep = 0.0;  // t
    double dx = 0.0;
    double dy = 0.0;
};
double fitLevel(const Grey& previousPicture, const Grey& nextPicture, FitState& state,
                int iterations) {
    const Spline previous = splineOf(previousPicture);
    const Spline next = splineOf(nextPicture);
    const double cx = (next.width - 1) / 2.0;
    const double cy = (next.height - 1) / 2.0;
    const int marginX = next.width * 8 / 100;
    const int marginY = next.height * 8 / 100;
    double residual = 0.0;
    for (int iteration = 0; iteration < iterations; ++iteration) {
        const double shrink = std::exp(-state.logStep / 2.0);
        const double grow = 1.0 / shrink;
        double a[3][3] = {};
        double b[3] = {};
        double squares = 0.0;
        long long count = 0;
        for (int y = marginY; y < next.height - marginY; ++y) {
            const double py = cy + (y - cy) * shrink + state.dy / 2.0;
            const double ny = cy + (y - cy) * grow - state.dy / 2.0;
            for (int x = marginX; x < next.width - marginX; ++x) {
                const double px = cx + (x - cx) * shrink + state.dx / 2.0;
                const double nx = cx + (x - cx) * grow - state.dx / 2.0;
                const Sample p = sampleAt(previous, px, py);
                const Sample n = sampleAt(next, nx, ny);
                const double r = p.value - n.value;
                const double j[3] = {-0.5 * ((p.dx * shrink + n.dx * grow) * (x - cx) +
                                             (p.dy * shrink + n.dy * grow) * (y - cy)),
                                     0.5 * (p.dx + n.dx), 0.5 * (p.dy + n.dy)};
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
        state.logStep += delta[0];
        state.dx += delta[1];
        state.dy += delta[2];
        // A thousandth of a percent of the smallest step measured.
        if (std::fabs(delta[0]) < 1e-7 && std::fabs(delta[1]) < 1e-4 && std::fabs(delta[2]) < 1e-4)
            break;
    }
    return residual;
}

// The fit from the magnification `guess`.
Fit fitStep(const Grey& previous, const Grey& next, double guess) {
    FitState state{std::log(guess), 0.0, 0.0};
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
    return {state.logStep, std::hypot(state.dx, state.dy), residual};
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
    double residual = 0.0;    // mean RMS left after the fit
    double meanToTrue = 0.0;  // mean log step / the true one
    double millisecondsPerFrame = 0.0;
};

// The figures of the steps of a zoom whose true log step is `trueStep`.
Figures figuresOf(const std::vector<Step>& steps, double trueStep) {
    Figures figures;
    figures.pairs = static_cast<int>(steps.size());
    if (steps.empty())
        return figures;
    double sum = 0.0;
    for (const Step& step : steps)
        sum += step.fit.logStep;
    const double mean = sum / steps.size();
    figures.meanToTrue = mean / trueStep;
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
            if (!zr::makeKeyFrameSeries(series, {}, &error, benchThreads().share()))
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
        if (!zr::makeKeyFrameSeries(big, {}, &error, benchThreads().share()))
            throw std::runtime_error("cannot make the big key frame: " + error);
        const std::string file = fs::directory_iterator(big.folder)->path().string();
        zr::KeyFrameCache cache;
        zr::ColorState color;
        if (const zr::KeyFrame* keyFrame = cache.load(file))
            zr::takeKeyFrameHeader(*keyFrame, color);
        zr::TextureSpec noTexture;
        noTexture.texture = false;
        const zr::OptionalImage picture = zr::renderKeyFrame(
            cache, file,
            zr::makeColoringPlan(zr::ColoringSpec{}, noTexture, color, nullptr, 1.0, 1.0));
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
    spec.output.movieFile.codec = "DIB ";
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
    zr::RenderSession session(benchThreads().share());
    zr::FrameRenderer renderer(run, session);
    FrameTaker taker(renderer, take);
    zr::FrameLoop::Options options;
    options.hooks = &taker;
    zr::FrameLoop loop(run, session, options);
    zr::RunState state;
    if (!loop.start(state, session.colors))
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
    Figures figures = figuresOf(recorder.steps, std::log(2.0) / movie.speed);
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
    Figures figures = figuresOf(recorder.steps, std::log(2.0) / movie.speed);
    figures.millisecondsPerFrame = 1000.0 * elapsed / std::max(count, 1);
    return figures;
}

// The measure itself: an exact zoom by 2 over `speed` frames of an analytic picture (a sum of
// waves of up to `finest` cycles per pixel, evaluated at each movie pixel's centre and rounded
// to bytes), 200 frames of 640 x 360. Its fitted steps should all be the true one.
Figures measureIdealZoom(int speed, double finest) {
    struct Wave {
        double u, v, phase, amplitude;
    };
    std::vector<Wave> waves;
    unsigned seed = 12345;
    auto random = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) / 16777216.0;
    };
    for (int i = 0; i < 40; ++i) {
        const double angle = 6.2831853 * random();
        const double frequency = finest * (0.2 + 0.8 * random());
        waves.push_back({frequency * std::cos(angle), frequency * std::sin(angle),
                         6.2831853 * random(), 4.0 * (0.5 + random())});
    }
    const double trueStep = std::log(2.0) / speed;
    StepRecorder recorder(std::exp(trueStep));
    FrameImage frame(640, 360);
    for (int i = 0; i < 200; ++i) {
        const double scale = std::exp(-trueStep * i);
        for (int y = 0; y < frame.height(); ++y) {
            std::uint8_t* row = frame.row(y);
            for (int x = 0; x < frame.width(); ++x) {
                const double u = (x + 0.5 - frame.width() / 2.0) * scale;
                const double v = (y + 0.5 - frame.height() / 2.0) * scale;
                double grey = 128.0;
                for (const Wave& wave : waves)
                    grey += wave.amplitude *
                            std::sin(6.2831853 * (wave.u * u + wave.v * v) + wave.phase);
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] =
                    static_cast<std::uint8_t>(std::clamp(grey + 0.5, 0.0, 255.0));
            }
        }
        recorder.add(frame, 0);
    }
    return figuresOf(recorder.steps, trueStep);
}

void printHeader() {
    std::printf("%-10s %5s %-14s %6s %7s %8s %8s %5s %8s %8s %8s %9s\n", "size", "speed", "movie",
                "pairs", "mean", "spread", "largest", "back", "shift", "switch", "residual",
                "ms/frame");
}

void printRow(const MovieCase& movie, const char* name, const Figures& f) {
    char switchText[16];
    if (f.switches > 0)
        std::snprintf(switchText, sizeof switchText, "%7.2f%%", 100.0 * f.worstSwitch);
    else
        std::snprintf(switchText, sizeof switchText, "%8s", "-");
    std::printf("%4dx%-5d %5d %-14s %6d %7.4f %7.2f%% %7.2f%% %5d %6.3fpx %s %8.2f %9.2f\n",
                movie.width, movie.height, movie.speed, name, f.pairs, f.meanToTrue,
                100.0 * f.spread, 100.0 * f.largestDeviation, f.backward, f.largestShift,
                switchText, f.residual, f.millisecondsPerFrame);
}

bool meetsGoals(const Figures& f) {
    return f.spread <= 0.02 && f.largestDeviation <= 0.05 && f.backward == 0 &&
           f.largestShift <= 0.1 && f.worstSwitch <= 0.02;
}

// The deepest key frame of the movie's folder, coloured as the run colours it.
FrameImage colorDeepestKeyFrame(BenchFolder& folder, const MovieCase& movie) {
    const zr::MovieSpec spec = specOf(folder.keyFrames(movie.width, movie.height), movie);
    const std::vector<std::string> keyFrames = zr::listRunKeyFrames(spec);
    zr::KeyFrameCache cache;
    zr::ColorState color;
    if (const zr::KeyFrame* keyFrame = cache.load(keyFrames.front()))
        zr::takeKeyFrameHeader(*keyFrame, color);
    const zr::OptionalImage deepest = zr::renderKeyFrame(
        cache, keyFrames.back(),
        zr::makeColoringPlan(spec.coloring, spec.texture, color, nullptr, 1.0, 1.0));
    if (!deepest)
        throw std::runtime_error("cannot colour the deepest key frame");
    return *deepest;
}

// ---------------------------------------------------------------------------------------------
// The filter that magnifies: the deepest key frame alone, magnified by 2 over `speed` frames.

void compareMagnifyFilters(BenchFolder& folder, const MovieCase& movie) {
    const FrameImage deepest = colorDeepestKeyFrame(folder, movie);
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
        StepRecorder recorder(std::pow(2.0, 1.0 / movie.speed));
        FrameImage frame(movie.width, movie.height);
        double busy = 0.0;
        double sharpness = 0.0;
        const int frames = 2 * movie.speed;
        for (int i = 0; i < frames; ++i) {
            const Clock::time_point start = Clock::now();
            zr::viewFrameExact(deepest, composedWidth, composedHeight,
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
        const Figures f = figuresOf(recorder.steps, std::log(2.0) / movie.speed);
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
    void frameDone(const zr::FrameDone& event) override {
        if (event.framesDone >= frames_)
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
    zr::RenderSession session(benchThreads().share());
    CostHost host(session, framesMeasured(movie));
    const Clock::time_point start = Clock::now();
    const zr::RenderOutcome outcome = zr::runRenderJob(specOf(keyFrames, movie), session, host);
    const double elapsed = seconds(start);
    fs::remove(keyFrames + "/film.avi", ignored);
    if (!outcome.done)
        throw std::runtime_error("the render failed: " + outcome.failure);
    return elapsed;
}

// The deepest key frame (grey) zoomed at `speed` frames per 2x through the frame that shows it at
// its own size, pixel on pixel: read with exact coverage before and Catmull-Rom after (as frames
// read the composed picture with supersampling), and as the mean of the picture interpolated
// linearly (as frames read the key frames without). The first frame and the frames after a key
// frame switch are such frames. Printed: the steps about the aligned frame against the true one.
void zoomThroughAlignedFrame(BenchFolder& folder, const MovieCase& movie) {
    const FrameImage deepest = colorDeepestKeyFrame(folder, movie);
    const Grey grey = greyOf(deepest);
    FrameImage greyPicture(grey.width, grey.height);
    for (int y = 0; y < grey.height; ++y) {
        for (int x = 0; x < grey.width; ++x) {
            std::uint8_t* pixel = greyPicture.pixel(x, y);
            pixel[0] = pixel[1] = pixel[2] =
                static_cast<std::uint8_t>(std::clamp(grey.at(x, y) + 0.5f, 0.0f, 255.0f));
        }
    }
    const double trueStep = std::log(2.0) / movie.speed;
    std::printf(
        "\nThrough a frame aligned with the key frame's pixels: a key frame zoomed by 2 over %d "
        "frames,\nthe steps before and after the aligned frame / the true step - 1\n",
        movie.speed);
    for (const bool linearMean : {false, true}) {
        StepRecorder recorder(std::exp(trueStep));
        FrameImage frame(movie.width, movie.height);
        for (int i = -20; i <= 20; ++i) {
            const double progress = std::exp(-trueStep * i);
            const double width = grey.width * progress;
            const double height = grey.height * progress;
            const zr::ExactRect view{(grey.width - width) / 2.0, (grey.height - height) / 2.0,
                                     width, height};
            const zr::ExactRect whole{0.0, 0.0, double(movie.width), double(movie.height)};
            if (linearMean)
                zr::resampleLinearMean(greyPicture, view, frame, whole, zr::ExactSampling{});
            else
                zr::resampleExact(greyPicture, view, frame, whole, zr::ExactSampling{});
            recorder.add(frame, 0);
        }
        std::printf("  %-32s",
                    linearMean ? "mean of linear interpolation" : "coverage, Catmull-Rom");
        for (std::size_t i = recorder.steps.size() / 2 - 3; i < recorder.steps.size() / 2 + 3; ++i)
            std::printf(" %+6.2f%%", 100.0 * (recorder.steps[i].fit.logStep / trueStep - 1.0));
        const Figures f = figuresOf(recorder.steps, trueStep);
        std::printf("   largest %.2f%%\n", 100.0 * f.largestDeviation);
    }
}

// Supersampling, a zoom through a frame aligned with the key frame's pixels, the filters that
// magnify and the sharpness, at 640 x 360.
void lookCloser(BenchFolder& folder) {
    std::printf("\nSupersampling, sub-pixel zoom\n");
    printHeader();
    for (int n = 1; n <= zr::kMaxSupersample; ++n) {
        const MovieCase movie{640, 360, 100, true, n};
        char name[32];
        std::snprintf(name, sizeof name, "supersample %d", n);
        printRow(movie, name, measureMovie(folder, movie));
    }

    zoomThroughAlignedFrame(folder, MovieCase{640, 360, 400, true, 1});
    compareMagnifyFilters(folder, MovieCase{640, 360, 100, true, 1});
    compareSharpness(folder, MovieCase{640, 360, 100, true, 1});
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
    if (argc == 4 && std::strcmp(argv[1], "--size") == 0)
        sizes = {{std::atoi(argv[2]), std::atoi(argv[3])}};
    // The sections that look closer run at 640 x 360 (with that size only when one is chosen).
    const bool closer = std::find(sizes.begin(), sizes.end(), std::pair{640, 360}) != sizes.end();
    try {
        BenchFolder folder;
        if (argc == 5 && std::strcmp(argv[1], "--case") == 0) {
            // --case WIDTH HEIGHT SPEED: the two movies of one line of the table.
            MovieCase movie{std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), false, 1};
            printHeader();
            printRow(movie, "whole-pixel", measureMovie(folder, movie));
            movie.subpixel = true;
            printRow(movie, "sub-pixel", measureMovie(folder, movie));
            if (const std::optional<Figures> zoompan = measureZoompan(folder, movie))
                printRow(movie, "ffmpeg zoompan", *zoompan);
            return 0;
        }
        std::printf(
            "Zoom smoothness: %d key frames 2x apart, merge count 5; per pair of frames the "
            "log of the fitted zoom step.\nmean = mean step / true step, spread = std/mean, "
            "largest = largest deviation from the mean, back = backward steps,\nshift = "
            "largest centre shift, switch = worst step across a key frame switch against its "
            "neighbours, residual = mean RMS left after the fit.\n\n",
            kKeyFrames);
        printHeader();
        // The measure on a zoom known to be exact, at the same speeds.
        for (const int speed : closer ? speeds : std::vector<int>{}) {
            const MovieCase movie{640, 360, speed, true, 1};
            printRow(movie, "exact zoom", measureIdealZoom(speed, 0.3));
        }
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

        if (closer)
            lookCloser(folder);

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
