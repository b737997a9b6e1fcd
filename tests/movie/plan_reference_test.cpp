// A second, deliberately plain computation of the frames of every key frame, written from the
// rules of the timeline and the time stamps alone, and compared with planMovie on many generated
// settings. Where the two disagree, the printed case says which settings to look at.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "movie/movie_fixtures.h"
#include "movie/plan.h"
#include "movie/time_stamps.h"
#include "settings/setting_types.h"

namespace zr {
namespace {

struct SpeedRow {
    std::string keyFrame;
    std::string value;
};

struct PlanCase {
    std::vector<SpeedRow> rows;  // in list order
    int timeType = kTimeTypeSpeed;
    double zoom = 2.0;
    int movieWidth = 960;
    int movieHeight = 540;
    int fps = 30;
    int framesPerMovie = 2000;
    int keyFrameCount = 1;
    int startFrame = 0;
    bool frameByFrame = false;
    bool stopOnLastFrame = false;
    bool leftScrolling = false;

    std::string describe() const {
        std::ostringstream text;
        text << "timeType " << timeType << ", zoom " << zoom << ", width " << movieWidth << ", fps "
             << fps << ", framesPerMovie " << framesPerMovie << ", key frames " << keyFrameCount
             << ", start " << startFrame << (frameByFrame ? ", frame by frame" : "")
             << (stopOnLastFrame ? ", stop on last" : "") << (leftScrolling ? ", scrolling" : "")
             << ", rows:";
        for (const SpeedRow& row : rows) {
            text << " (" << row.keyFrame << ", " << row.value << ")";
        }
        return text.str();
    }
};

// ---- The reference, rule by rule ------------------------------------------------------------

// Zoom per movie frame at a speed of `speed` movie frames per key frame.
double zoomPerFrame(double zoom, int speed) {
    return std::pow(10.0, std::log10(zoom) / speed);
}

// One step of a ramp from the current factor towards `target`, never past it.
double nextFactor(double factor, double step, double target) {
    const double next = factor + step;
    if ((step > 0 && next > target) || (step < 0 && next < target)) {
        return target;
    }
    return next;
}

struct Ramp {
    double startFactor;
    double endFactor;
    double step;
};

Ramp makeRamp(int speedIn, int speedOut, double zoom) {
    const double f0 = zoomPerFrame(zoom, speedIn);
    const double f1 = zoomPerFrame(zoom, speedOut);
    return {f0, f1, (f1 - f0) / std::min(speedIn, speedOut)};
}

// A zoom factor of 1 never leaves the key frame: such a ramp is cut off after this many frames.
int rampLimit(int a, int b, double zoom) {
    return zoom > 1.0 ? INT_MAX : 2 * std::max(a, b) + 16;
}

// Frames of a ramp counted from a view of the whole key frame.
int rampFramesFromWholeView(int a, int b, double zoom) {
    const Ramp ramp = makeRamp(a, b, zoom);
    int n = 1;
    double p = 1.0;
    double f = ramp.startFactor;
    while (n < rampLimit(a, b, zoom)) {
        const double g = nextFactor(f, ramp.step, ramp.endFactor);
        p = p / g;
        if (p < 1.0 / zoom || g < 1.0) {
            return n;
        }
        ++n;
        f = g;
    }
    return n;
}

// Frames of a ramp counted from the view after the first step.
int rampFramesAfterFirstStep(int a, int b, double zoom) {
    const Ramp ramp = makeRamp(a, b, zoom);
    int n = 1;
    double p = 1.0 / ramp.startFactor;
    double f = ramp.startFactor;
    while (p >= 1.0 / zoom && f >= 1.0 && n < rampLimit(a, b, zoom)) {
        const double g = nextFactor(f, ramp.step, ramp.endFactor);
        p = p / g;
        ++n;
        f = g;
    }
    return n;
}

// "ss", "mm:ss" or "hh:mm:ss" in seconds, two digits a field.
int stampSeconds(std::string text) {
    int seconds = std::atoi(text.c_str());
    if (text.size() >= 5) {
        text = text.substr(3);
        seconds = 60 * seconds + std::atoi(text.c_str());
        if (text.size() >= 5) {
            seconds = 60 * seconds + std::atoi(text.substr(3).c_str());
        }
    }
    return seconds;
}

// Speeds per key frame from the time stamps, or none when a stamp is earlier than the last.
std::optional<std::vector<int>> stampSpeeds(std::vector<SpeedRow> rows, int timeType, int fps,
                                            double zoom) {
    std::stable_sort(rows.begin(), rows.end(), [](const SpeedRow& a, const SpeedRow& b) {
        return std::atof(a.keyFrame.c_str()) < std::atof(b.keyFrame.c_str());
    });
    std::vector<int> speeds;
    int previousKeyFrame = 0;
    int previousFrame = 0;
    int previousSpeed = 0;
    for (const SpeedRow& row : rows) {
        const int keyFrame = std::atoi(row.keyFrame.c_str());
        const int frame = stampSeconds(row.value) * fps;
        if (frame < previousFrame) {
            return std::nullopt;
        }
        const int d = keyFrame - previousKeyFrame;
        if (d <= 0) {
            // A stamp for a key frame that already has its start: nothing to hand out, and the
            // frames up to the stamp are passed over.
            previousFrame = frame;
            previousKeyFrame = std::max(previousKeyFrame, keyFrame);
            continue;
        }
        const int total = frame - previousFrame;
        int j = total / d;
        int g = total - j * d;
        if (timeType == kTimeTypeTimeNs) {
            for (int c = 0; c < d; ++c) {
                speeds.push_back(c < g ? j + 1 : j);
            }
        } else {
            std::vector<int> offsets;
            int sp = previousSpeed;
            if (sp != 0) {
                for (int c = 0; c < d && sp != j; ++c) {
                    const int jAtStart = j;
                    int l = 0;
                    if (sp > j) {
                        l = std::max((sp - j) / 2, 1);
                        if (c >= d - 1) {
                            l = 0;
                        }
                        offsets.push_back(l);
                        g -= l;
                        for (;;) {
                            const int n = rampFramesFromWholeView(sp, j + l, zoom);
                            if (l != 0) {
                                g += j + l - n;
                                break;
                            }
                            if (n <= jAtStart || j <= 0) {  // no ramp is shorter than 1
                                break;
                            }
                            --j;
                        }
                        sp -= l;
                    } else {
                        l = std::max((j - sp) / 2, 1);
                        if (c >= d - 1) {
                            l = 0;
                        }
                        offsets.push_back(-l);
                        g += l;
                        for (;;) {
                            const int n = rampFramesAfterFirstStep(sp, j - l, zoom);
                            if (l != 0) {
                                g += j - l - n;
                                break;
                            }
                            // From a speed of 1 the ramp leaves the key frame at its first
                            // step, and at a zoom factor of 1 or less it never leaves: either
                            // way no base speed makes it longer.
                            if (n >= jAtStart || sp <= 1 || !(zoom > 1.0)) {
                                break;
                            }
                            ++j;
                        }
                        sp += l;
                    }
                    if (l == 0) {
                        sp = j;
                    }
                }
            }
            const int share = g >= 0 ? g / d + 1 : g / d - 1;
            for (int c = 0; c < d; ++c) {
                const int offset = c < static_cast<int>(offsets.size()) ? offsets[c] : 0;
                int a = 0;
                if (g > 0) {
                    a = g < share ? g : share;
                } else if (g < 0) {
                    a = g <= share ? share : g;
                }
                speeds.push_back(offset + j + a);
                g -= a;
            }
        }
        previousFrame = frame;
        previousKeyFrame = keyFrame;
        previousSpeed = j;
    }
    return speeds;
}

std::pair<int, int> stampSpeedsOf(const std::vector<int>& speeds, int timeType, int k) {
    const int rows = static_cast<int>(speeds.size());
    if (rows == 0) {
        return {0, 0};  // no stamped key frame after key frame 0
    }
    if (k >= rows) {
        return {speeds[rows - 1], speeds[rows - 1]};
    }
    if (timeType == kTimeTypeTimeNs || k == 0) {
        return {speeds[k], speeds[k]};
    }
    const int in = speeds[k - 1];
    const int out = speeds[k];
    return {in, std::abs(in - out) == 1 ? in : out};
}

// Movie frames of one key frame under every end rule of the zoom and of left scrolling.
int keyFrameFrames(int speedIn, int speedOut, const PlanCase& run, bool last) {
    // A key frame cannot have fewer than one movie frame per key frame: the speed divides.
    speedIn = std::max(speedIn, 1);
    speedOut = std::max(speedOut, 1);
    const double zoom = run.zoom;
    const Ramp ramp = makeRamp(speedIn, speedOut, zoom);
    const int n = speedIn == speedOut ? speedIn : rampFramesFromWholeView(speedIn, speedOut, zoom);
    const int composedWidth = static_cast<int>(zoom * run.movieWidth);
    double p = 1.0;
    double f = ramp.startFactor;
    double x = run.movieWidth;
    double scrollStep = static_cast<double>(run.movieWidth) / n;
    const double scrollChange = static_cast<double>(n - speedOut) / n;
    const int scrollLimit = run.movieWidth / speedOut;
    int counted = 0;
    int drawn = 0;
    for (;;) {
        if (!last && (counted >= n || p < 1.0 / zoom || f < 1.0)) {
            break;
        }
        ++counted;
        // Kept as a double: a view that grows without end must not wrap round as an int.
        const double halfWidth = std::trunc(composedWidth * p * 0.5 + 0.5);
        p = p / f;
        f = nextFactor(f, ramp.step, ramp.endFactor);
        if (halfWidth < 3 || (!last && 2 * halfWidth < run.movieWidth)) {
            break;
        }
        if (run.leftScrolling) {
            if (x < 0) {
                break;
            }
            scrollStep += scrollChange;
            if (scrollChange > 0 && scrollStep > scrollLimit) {
                scrollStep = scrollLimit;
            }
            if (scrollChange < 0 && scrollStep < scrollLimit) {
                scrollStep = scrollLimit;
            }
            x -= scrollStep;
        }
        ++drawn;
        if (last && (run.stopOnLastFrame || counted >= 601)) {
            break;
        }
    }
    return drawn;
}

// The speed list as Start leaves it: "Frame by frame" makes it the single row of speed 1.
std::vector<SpeedRow> effectiveRows(const PlanCase& run) {
    return run.frameByFrame ? std::vector<SpeedRow>{{"0", "1"}} : run.rows;
}

std::optional<std::string> speedRowValue(const PlanCase& run, int k) {
    const std::string key = std::to_string(k);
    for (const SpeedRow& row : effectiveRows(run)) {
        if (row.keyFrame == key) {
            return row.value;
        }
    }
    return std::nullopt;
}

std::optional<MoviePlan> referencePlan(const PlanCase& run) {
    MoviePlan plan;
    plan.fps = run.fps;
    std::vector<int> speeds;
    if (run.timeType != kTimeTypeSpeed) {
        auto built = stampSpeeds(effectiveRows(run), run.timeType, run.fps, run.zoom);
        if (!built) {
            return std::nullopt;
        }
        speeds = std::move(*built);
    }
    const auto rowZero = speedRowValue(run, 0);
    int speed = rowZero ? std::atoi(rowZero->c_str()) : 150;
    long long frame = 0;
    for (int k = run.startFrame; k < run.keyFrameCount; ++k) {
        int speedIn = 0;
        int speedOut = 0;
        if (run.timeType == kTimeTypeSpeed) {
            if (const auto row = speedRowValue(run, k)) {
                speed = std::atoi(row->c_str());
            }
            speedIn = speed;
            const auto next = speedRowValue(run, k + 1);
            speedOut = next ? std::atoi(next->c_str()) : speedIn;
        } else {
            std::tie(speedIn, speedOut) = stampSpeedsOf(speeds, run.timeType, k);
        }
        const int frames = keyFrameFrames(speedIn, speedOut, run, k == run.keyFrameCount - 1);
        plan.keyFrames.push_back({k, frame, frames});
        frame += frames;
    }
    plan.totalFrames = frame;
    const long long perFile = std::max(run.framesPerMovie, 1);
    for (long long first = 0, index = 0; first < frame; first += perFile, ++index) {
        plan.movieFiles.push_back(
            {movieFileName(static_cast<int>(index)), first, std::min(perFile, frame - first)});
    }
    return plan;
}

// The plan as the plan command prints it: the table, then the summary lines.
std::string referenceText(const MoviePlan& plan) {
    std::ostringstream text;
    text << "keyframe\tfirst_frame\tframes\n";
    for (const PlannedKeyFrame& row : plan.keyFrames) {
        text << row.keyFrame << '\t' << row.firstFrame << '\t' << row.frames << '\n';
    }
    text << "# total frames\t" << plan.totalFrames << '\n';
    const long long t = plan.totalFrames;
    const long long fps = plan.fps;
    if (fps > 0) {
        char time[64];
        std::snprintf(time, sizeof time, "%02lld:%02lld:%02lld.%03lld", t / (fps * 3600),
                      t / (fps * 60) % 60, t / fps % 60, t % fps * 1000 / fps);
        text << "# duration\t" << time << "\tat " << fps << " fps\n";
    } else {
        text << "# duration\tunknown\tat " << fps << " fps\n";
    }
    text << "# movie files\t" << plan.movieFiles.size() << '\n';
    for (const PlannedMovieFile& file : plan.movieFiles) {
        text << "# " << file.name << '\t' << file.firstFrame << '\t' << file.frames << '\n';
    }
    return text.str();
}

// ---- Settings as the dialog's Start would leave them -----------------------------------------

void applyCase(const PlanCase& run, MovieSpec& spec) {
    if (run.frameByFrame) {
        spec.timeline.speedSpecs = testing::speedsOf("0\t1");
    } else {
        std::string text;
        for (std::size_t i = 0; i < run.rows.size(); ++i) {
            text += (i ? "\n" : "") + run.rows[i].keyFrame + "\t" + run.rows[i].value;
        }
        spec.timeline.speedSpecs = testing::speedsOf(text);
    }
    spec.timeline.timeType = run.timeType == kTimeTypeTime || run.timeType == kTimeTypeTimeNs
                                 ? static_cast<TimeType>(run.timeType)
                                 : kTimeTypeSpeed;
    spec.start.startFrame = run.startFrame;
    spec.zoom.zoomFactor = run.zoom;
    spec.output.movieWidth = run.movieWidth;
    spec.output.movieHeight = run.movieHeight;
    spec.output.fps = run.fps;
    spec.output.framesPerMovie = run.framesPerMovie;
    spec.zoom.frameByFrame = run.frameByFrame;
    spec.zoom.stopOnLastFrame = run.stopOnLastFrame;
    spec.zoom.leftScrolling = run.leftScrolling;
}

// The first difference between the two plans, or empty.
std::string firstDifference(const MoviePlan& expected, const MoviePlan& actual) {
    std::ostringstream text;
    const std::size_t shared = std::min(expected.keyFrames.size(), actual.keyFrames.size());
    for (std::size_t i = 0; i < shared; ++i) {
        const PlannedKeyFrame& e = expected.keyFrames[i];
        const PlannedKeyFrame& a = actual.keyFrames[i];
        if (e.keyFrame != a.keyFrame || e.firstFrame != a.firstFrame || e.frames != a.frames) {
            text << "key frame " << e.keyFrame << ": expected first " << e.firstFrame << " frames "
                 << e.frames << ", got key frame " << a.keyFrame << " first " << a.firstFrame
                 << " frames " << a.frames;
            return text.str();
        }
    }
    if (expected.keyFrames.size() != actual.keyFrames.size()) {
        text << "expected " << expected.keyFrames.size() << " key frame lines, got "
             << actual.keyFrames.size();
        return text.str();
    }
    if (expected.totalFrames != actual.totalFrames) {
        text << "total " << expected.totalFrames << " != " << actual.totalFrames;
        return text.str();
    }
    if (expected.movieFiles.size() != actual.movieFiles.size()) {
        text << "expected " << expected.movieFiles.size() << " movie files, got "
             << actual.movieFiles.size();
        return text.str();
    }
    for (std::size_t i = 0; i < expected.movieFiles.size(); ++i) {
        const PlannedMovieFile& e = expected.movieFiles[i];
        const PlannedMovieFile& a = actual.movieFiles[i];
        if (e.name != a.name || e.firstFrame != a.firstFrame || e.frames != a.frames) {
            text << "movie file " << i << ": expected " << e.name << " " << e.firstFrame << " "
                 << e.frames << ", got " << a.name << " " << a.firstFrame << " " << a.frames;
            return text.str();
        }
    }
    return {};
}

// Runs every case through both and reports the disagreements (at most a few printed).
int countDisagreements(const std::vector<PlanCase>& cases) {
    MovieSpec spec;
    int disagreements = 0;
    for (const PlanCase& run : cases) {
        applyCase(run, spec);
        std::string error;
        const auto actual = planMovie(spec, run.keyFrameCount, &error);
        const auto expected = referencePlan(run);
        std::string difference;
        if (expected.has_value() != actual.has_value()) {
            difference = expected ? "refused: " + error : "accepted stamps out of order";
        } else if (expected) {
            difference = firstDifference(*expected, *actual);
            if (difference.empty() && formatMoviePlan(*actual) != referenceText(*expected)) {
                difference = "text differs:\n" + formatMoviePlan(*actual);
            }
        }
        if (!difference.empty()) {
            if (++disagreements <= 5) {
                ADD_FAILURE() << difference << "\n  case: " << run.describe();
            }
        }
    }
    return disagreements;
}

// ---- Generated settings -------------------------------------------------------------------

struct CaseMaker {
    std::mt19937 random;
    explicit CaseMaker(unsigned seed) : random(seed) {}

    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random); }

    double zoom() {
        switch (between(0, 5)) {
            case 0:
                return 2.0;
            case 1:
                return 4.0;
            case 2:
                return 8.0;
            case 3:
                return 16.0;
            case 4:
                return std::uniform_real_distribution<double>(1.05, 24.0)(random);
            default:
                return std::array{1.5, 3.0, 2.5, 1.25, 10.0, 1.0, 0.5}[between(0, 6)];
        }
    }

    void shape(PlanCase& run) {
        run.zoom = zoom();
        static constexpr std::array widths{64, 320, 640, 800, 960, 1280, 1920, 3840};
        run.movieWidth = chance(0.2) ? between(8, 4000) : widths[between(0, 7)];
        run.movieHeight = run.movieWidth * 360 / 640;
        run.keyFrameCount = between(1, 40);
        run.startFrame = chance(0.7) ? 0 : between(0, run.keyFrameCount + 1);
        run.stopOnLastFrame = chance(0.3);
        run.leftScrolling = chance(0.1);
        run.framesPerMovie = chance(0.2) ? between(0, 3) : between(1, 3000);
        static constexpr std::array rates{24, 25, 30, 50, 60};
        run.fps = chance(0.2) ? between(1, 120) : rates[between(0, 4)];
    }

    PlanCase speedCase() {
        PlanCase run;
        shape(run);
        run.timeType = kTimeTypeSpeed;
        run.frameByFrame = chance(0.08);
        const int rows = between(0, 7);
        for (int i = 0; i < rows; ++i) {
            std::string keyFrame = std::to_string(between(0, run.keyFrameCount + 1));
            if (chance(0.05)) {
                keyFrame = "0" + keyFrame;  // never the row of a key frame
            }
            int value = chance(0.3) ? between(1, 6) : between(1, 400);
            if (chance(0.04)) {
                value = between(-30, 0);  // refused at Start, but planMovie takes any table
            }
            std::string text = std::to_string(value);
            if (chance(0.05)) {
                text = " " + text + "x";  // read like atoi
            }
            run.rows.push_back({keyFrame, text});
        }
        return run;
    }

    static std::string stamp(int seconds, int form) {
        char text[16];
        if (form == 0 && seconds < 100) {
            std::snprintf(text, sizeof text, "%02d", seconds);
        } else if (form <= 1 && seconds < 6000) {
            std::snprintf(text, sizeof text, "%02d:%02d", seconds / 60, seconds % 60);
        } else {
            std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                          seconds % 60);
        }
        return text;
    }

    // Stamps at distinct key frames from 1 on, each stretch at least one frame a key frame.
    PlanCase stampCase(int timeType) {
        PlanCase run;
        shape(run);
        run.timeType = timeType;
        if (chance(0.1)) {
            run.fps = between(-1, 0);
        }
        std::vector<int> keyFrames;
        const int stamps = chance(0.03) ? 0 : between(1, 5);
        for (int i = 0; i < stamps; ++i) {
            keyFrames.push_back(between(1, run.keyFrameCount + 3));
        }
        std::sort(keyFrames.begin(), keyFrames.end());
        keyFrames.erase(std::unique(keyFrames.begin(), keyFrames.end()), keyFrames.end());
        if (chance(0.15) || keyFrames.empty()) {
            keyFrames.push_back(chance(0.5) || keyFrames.empty()
                                    ? 0
                                    : keyFrames.back());  // a stretch of no key frames
            std::sort(keyFrames.begin(), keyFrames.end());
        }
        int previous = 0;
        int seconds = 0;
        for (const int keyFrame : keyFrames) {
            const int perKeyFrame = chance(0.3) ? between(0, 8) : between(8, 300);
            const int frames = (keyFrame - previous) * perKeyFrame;
            const int fps = std::max(run.fps, 1);
            seconds += std::max(0, (frames + fps - 1) / fps + between(-1, 2));
            run.rows.push_back({std::to_string(keyFrame), stamp(seconds, between(0, 2))});
            previous = keyFrame;
        }
        if (chance(0.05) && run.rows.size() > 1) {
            run.rows.back().value = "00:00";  // earlier than the stamp before it
        }
        std::shuffle(run.rows.begin(), run.rows.end(), random);  // the list need not be sorted
        return run;
    }

    // Stretches of one to three key frames whose speeds jump by up to a few thousand frames, so
    // that the search for a stretch's base speed has far to go, in either direction.
    std::vector<SpeedRow> jumpingStamps(int fps) {
        std::vector<SpeedRow> rows;
        int keyFrame = 0;
        long long frames = 0;
        const int stamps = between(2, 6);
        for (int i = 0; i < stamps; ++i) {
            const int keyFrames = between(1, 3);
            keyFrame += keyFrames;
            const int perKeyFrame = chance(0.3) ? between(1, 20) : between(20, 1000);
            frames += static_cast<long long>(keyFrames) * perKeyFrame;
            rows.push_back({std::to_string(keyFrame),
                            stamp(static_cast<int>((frames + fps - 1) / fps), between(0, 2))});
        }
        return rows;
    }
};

TEST(PlanReference, SpeedListsAgreeWithThePlan) {
    CaseMaker maker(20261207);
    std::vector<PlanCase> cases;
    for (int i = 0; i < 1500; ++i) {
        cases.push_back(maker.speedCase());
    }
    EXPECT_EQ(countDisagreements(cases), 0);
}

TEST(PlanReference, TimeStampsAgreeWithThePlan) {
    CaseMaker maker(7122026);
    std::vector<PlanCase> cases;
    while (cases.size() < 1500) {
        cases.push_back(maker.stampCase(cases.size() % 2 ? kTimeTypeTime : kTimeTypeTimeNs));
    }
    EXPECT_EQ(countDisagreements(cases), 0);
}

// The smooth speeds search for each stretch's base speed; the reference tries one speed after
// the other.
TEST(PlanReference, TimeStampSearchesAgreeWithTryingEverySpeed) {
    CaseMaker maker(15);
    int disagreements = 0;
    for (int i = 0; i < 2000; ++i) {
        const double zoom = maker.zoom();
        const int fps = maker.chance(0.5) ? 30 : maker.between(1, 60);
        const std::vector<SpeedRow> rows = maker.jumpingStamps(fps);
        std::string text;
        for (const SpeedRow& row : rows) {
            text += row.keyFrame + "\t" + row.value + "\n";
        }
        const auto expected = stampSpeeds(rows, kTimeTypeTime, fps, zoom);
        const auto actual =
            buildKeyFrameSpeeds(testing::speedsOf(text), kTimeTypeTime, fps, zoom, INT_MAX);
        if (expected != actual && ++disagreements <= 5) {
            ADD_FAILURE() << "zoom " << zoom << ", fps " << fps << ", rows:\n" << text;
        }
    }
    EXPECT_EQ(disagreements, 0);
}

// Zoom factors of 1 and below never leave a key frame: below 1 the zoom per frame is under 1 and
// every key frame but the last ends before its first frame; at 1 the frame count alone ends it.
// The last key frame runs to its 601 frames either way.
TEST(PlanReference, ZoomFactorsThatNeverLeaveTheKeyFrame) {
    std::vector<PlanCase> cases;
    for (const double zoom : {1.0, 0.5, 0.99}) {
        for (const int speed : {1, 7, 25}) {
            PlanCase run;
            run.zoom = zoom;
            run.keyFrameCount = 4;
            run.rows = {{"0", std::to_string(speed)}};
            cases.push_back(run);
            run.stopOnLastFrame = true;
            cases.push_back(run);
        }
    }
    EXPECT_EQ(countDisagreements(cases), 0);
    EXPECT_EQ(referencePlan(cases[0])->totalFrames, 3 + 601);

    // A ramp at a zoom factor of 1 never ends by the zoom: it still comes to an end.
    MovieSpec spec;
    spec.zoom.zoomFactor = 1.0;
    spec.timeline.speedSpecs = testing::speedsOf("0\t25\n2\t50");
    const auto plan = planMovie(spec, 4);
    ASSERT_TRUE(plan.has_value());
    EXPECT_GT(plan->keyFrames[1].frames, 0);
}

std::vector<int> framesPerKeyFrame(const char* speedList, int timeType, int keyFrameCount,
                                   double zoom = 2.0) {
    MovieSpec spec;
    spec.output.fps = 25;
    spec.zoom.zoomFactor = zoom;
    spec.timeline.speedSpecs = testing::speedsOf(speedList);
    spec.timeline.timeType = static_cast<TimeType>(timeType);
    const auto plan = planMovie(spec, keyFrameCount);
    std::vector<int> frames;
    if (plan) {
        for (const PlannedKeyFrame& keyFrame : plan->keyFrames) {
            frames.push_back(keyFrame.frames);
        }
    }
    return frames;
}

TEST(PlanReference, TimeStampRules) {
    // Stamps taken in key frame order; 4 seconds at 25 fps over key frames 0 to 6 and 7 to 9.
    const auto spread = framesPerKeyFrame("10\t00:04\n7\t00:01", kTimeTypeTimeNs, 12);
    EXPECT_EQ(std::vector<int>(spread.begin(), spread.begin() + 11),
              (std::vector<int>{4, 4, 4, 4, 3, 3, 3, 25, 25, 25, 25}));

    // "90" and "01:30" are both 90 seconds; "1:30" is 1 second.
    EXPECT_EQ(framesPerKeyFrame("3\t90", kTimeTypeTimeNs, 5),
              framesPerKeyFrame("3\t01:30", kTimeTypeTimeNs, 5));
    EXPECT_EQ(framesPerKeyFrame("3\t1:30", kTimeTypeTimeNs, 5),
              framesPerKeyFrame("3\t01", kTimeTypeTimeNs, 5));

    // A slow stretch right after one frame per key frame: the ramp from a speed of 1 leaves its
    // key frame after the first step whatever the next speed, so the search for a longer ramp
    // has to give up instead of running on.
    const auto slow = framesPerKeyFrame("25\t00:01\n26\t00:05", kTimeTypeTime, 30);
    ASSERT_EQ(slow.size(), 30u);
    EXPECT_EQ(slow[24], 1);
    EXPECT_EQ(slow[25], 2);
    EXPECT_EQ(slow[26], 100);
    // The same search at a zoom factor below 1, where no ramp ever leaves its key frame.
    const auto still = framesPerKeyFrame("5\t00:01\n6\t00:05", kTimeTypeTime, 8, 0.5);
    EXPECT_EQ(still, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 601}));
}

}  // namespace
}  // namespace zr
