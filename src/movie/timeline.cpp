#include "movie/timeline.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "movie/render_host.h"
#include "movie/run_state.h"
#include "movie/time_stamps.h"

namespace zr {

namespace {

constexpr int kMinColorCountAtStart = 16;
constexpr int kMinColorCount = 4;
constexpr int kMaxColorCount = 1024;
constexpr int kMinHalfWidth = 3;

// The next zoom per frame of a ramp: one step on, but never past the end factor.
double nextFactor(double factor, double step, double endFactor) {
    const double next = factor + step;
    if ((step > 0.0 && next > endFactor) || (step < 0.0 && next < endFactor))
        return endFactor;
    return next;
}

}  // namespace

double zoomPerFrame(double zoomFactor, int speed) {
    return std::pow(10.0, std::log10(zoomFactor) / speed);
}

int usableSpeed(int speed) {
    return std::clamp(speed, 1, kMaxSpeed);
}

int countFrames(int speedA, int speedB, double zoomFactor, RampCount form) {
    const int a = usableSpeed(speedA);
    const int b = usableSpeed(speedB);
    const double f0 = zoomPerFrame(zoomFactor, a);
    const double f1 = zoomPerFrame(zoomFactor, b);
    const double step = (f1 - f0) / std::min(a, b);
    const double leaveAt = 1.0 / zoomFactor;
    // A ramp of a zoom factor above 1 ends after at most max(a, b) + 2 frames; the limit only
    // stops zoom factors that never leave the key frame.
    const long long limit = 2LL * std::max(a, b) + 16;
    long long n = 1;
    double f = f0;
    if (form == RampCount::kFromFirstStep) {
        double p = 1.0;
        while (n < limit) {
            const double g = nextFactor(f, step, f1);
            p = p / g;
            if (p < leaveAt || g < 1.0)
                break;
            ++n;
            f = g;
        }
    } else {
        double p = 1.0 / f0;
        while (p >= leaveAt && f >= 1.0 && n < limit) {
            const double g = nextFactor(f, step, f1);
            p = p / g;
            ++n;
            f = g;
        }
    }
    return static_cast<int>(std::min<long long>(n, INT_MAX));
}

KeyFrameZoomSetup zoomSetupOf(const MovieSpec& spec, int speedIn, int speedOut, bool lastKeyFrame) {
    KeyFrameZoomSetup setup;
    setup.speedIn = speedIn;
    setup.speedOut = speedOut;
    setup.zoomFactor = spec.zoom.zoomFactor;
    setup.movieWidth = spec.output.movieWidth;
    setup.movieHeight = spec.output.movieHeight;
    setup.lastKeyFrame = lastKeyFrame;
    setup.stopOnLastFrame = spec.zoom.stopOnLastFrame;
    setup.leftScrolling = spec.zoom.leftScrolling;
    setup.subpixel = spec.zoom.subpixelZoom;
    return setup;
}

KeyFrameSpeeds speedListSpeeds(const SpeedTrack& speedSpecs, int keyFrame, int& speedInForce) {
    KeyFrameSpeeds speeds;
    if (const SpeedValue* row = speedSpecs.at(keyFrame))
        speedInForce = row->speed;
    speeds.speedIn = speedInForce;
    const SpeedValue* next = keyFrame < INT_MAX ? speedSpecs.at(keyFrame + 1) : nullptr;
    speeds.speedOut = next != nullptr ? next->speed : speeds.speedIn;
    return speeds;
}

// ---------------------------------------------------------------------------------------------

KeyFrameZoom::KeyFrameZoom(const KeyFrameZoomSetup& setup) : setup_(setup) {
    setup_.speedIn = usableSpeed(setup.speedIn);
    setup_.speedOut = usableSpeed(setup.speedOut);
    const double z = setup_.zoomFactor;
    startFactor_ = zoomPerFrame(z, setup_.speedIn);
    endFactor_ = zoomPerFrame(z, setup_.speedOut);
    factorStep_ = (endFactor_ - startFactor_) / std::min(setup_.speedIn, setup_.speedOut);
    frameCount_ = setup_.speedIn == setup_.speedOut
                      ? setup_.speedIn
                      : countFrames(setup_.speedIn, setup_.speedOut, z);
    progress_ = 1.0;
    factor_ = startFactor_;
    composedWidth_ = truncToInt(z * setup_.movieWidth);
    composedHeight_ = truncToInt(z * setup_.movieHeight);
    scrollX_ = setup_.movieWidth;
    scrollStep_ = static_cast<double>(setup_.movieWidth) / frameCount_;
    scrollChange_ = static_cast<double>(frameCount_ - setup_.speedOut) / frameCount_;
    if (setup_.subpixel && !setup_.lastKeyFrame && !setup_.leftScrolling)
        progressExponent_ = evenProgressExponent();
}

double KeyFrameZoom::evenProgressExponent() const {
    // The progress of the first frame the key frame does not draw: walked frame by frame, at
    // most n frames.
    KeyFrameZoomSetup plain = setup_;
    plain.subpixel = false;
    KeyFrameZoom walk(plain);
    double closing = walk.progress_;
    while (walk.mayBeginFrame()) {
        closing = walk.progress_;
        if (!walk.viewOfFrame())
            break;
        closing = walk.progress_;
    }
    const double exponent = std::log(setup_.zoomFactor) / -std::log(closing);
    // A key frame that ends before it zooms at all keeps its progress.
    return std::isfinite(exponent) && exponent > 0.25 && exponent < 4.0 ? exponent : 1.0;
}

bool KeyFrameZoom::mayBeginFrame() const {
    if (setup_.lastKeyFrame)
        return true;
    return framesCounted_ < frameCount_ && !(progress_ < 1.0 / setup_.zoomFactor) &&
           !(factor_ < 1.0);
}

std::optional<FrameView> KeyFrameZoom::viewOfFrame() {
    ++framesCounted_;
    FrameView view;
    view.halfWidth = truncToInt(composedWidth_ * progress_ * 0.5 + 0.5);
    view.halfHeight = truncToInt(composedHeight_ * progress_ * 0.5 + 0.5);
    view.progress = progressExponent_ == 1.0 ? progress_ : std::pow(progress_, progressExponent_);
    progress_ = progress_ / factor_;
    factor_ = nextFactor(factor_, factorStep_, endFactor_);
    if (view.halfWidth < kMinHalfWidth)
        return std::nullopt;
    if (!setup_.lastKeyFrame && 2LL * view.halfWidth < setup_.movieWidth)
        return std::nullopt;
    return view;
}

std::optional<double> KeyFrameZoom::scrollColumn() {
    if (scrollX_ < 0.0)
        return std::nullopt;
    const double column = scrollX_;
    scrollStep_ += scrollChange_;
    const int endStep = setup_.movieWidth / setup_.speedOut;
    if (scrollChange_ > 0.0 && scrollStep_ > endStep)
        scrollStep_ = endStep;
    if (scrollChange_ < 0.0 && scrollStep_ < endStep)
        scrollStep_ = endStep;
    scrollX_ -= scrollStep_;
    return column;
}

bool KeyFrameZoom::mayContinueAfterFrame() const {
    if (!setup_.lastKeyFrame)
        return true;
    if (setup_.stopOnLastFrame)
        return false;
    return framesCounted_ < kLastKeyFrameMaxFrames;
}

// ---------------------------------------------------------------------------------------------

Timeline::Timeline(const MovieSpec& spec, RunState& state, RenderHost* host)
    : spec_(spec), state_(state), host_(host) {}

void Timeline::startColorRange() {
    const std::uint32_t value = spec_.start.startIteration;
    state_.color.stretchMin = value == 0 ? -1.0 : static_cast<double>(value);
    state_.color.stretchMax = 1.0;
    state_.timeline.keyMin = value == 0 ? 1 : truncToInt(state_.color.stretchMin);
}

void Timeline::changeColorCount(int step, int minimum) {
    ColorState& color = state_.color;
    const long long count = static_cast<long long>(color.keyColorCount) + step;
    color.keyColorCount = static_cast<int>(std::clamp<long long>(count, minimum, kMaxColorCount));
    if (host_ != nullptr)
        host_->colorCountChanged(color.keyColorCount);
}

void Timeline::applyFirstKeyFrameRows() {
    const TimelineSpec& timeline = spec_.timeline;
    if (const double* division = timeline.divideSpecs.at(0)) {
        state_.color.divisionFromKeyFrame = false;
        state_.color.colorDivision = *division;
    } else {
        state_.color.divisionFromKeyFrame = true;
    }
    state_.timeline.colorCountStep = 0;
    if (const ColorCountValue* count = timeline.colorCountSpecs.at(0)) {
        // The row of key frame 0 reads as a decimal number, its fraction dropped.
        const int step = count->firstKeyFrameStep;
        if (step != 0)
            changeColorCount(step, kMinColorCountAtStart);
        state_.timeline.colorCountStep = step;
    }
}

bool Timeline::startSpeeds(int keyFrameCount, const StopCheck& stopRequested) {
    const TimelineSpec& timeline = spec_.timeline;
    TimelineState& t = state_.timeline;
    t.keyFrameSpeeds.clear();
    if (timeline.timeType != kTimeTypeSpeed) {
        auto speeds = buildKeyFrameSpeeds(timeline.speedSpecs, timeline.timeType, spec_.output.fps,
                                          spec_.zoom.zoomFactor, keyFrameCount, stopRequested);
        if (!speeds && !(stopRequested && stopRequested()))
            return false;
        if (speeds)
            t.keyFrameSpeeds = std::move(*speeds);
    }
    const SpeedValue* speed = timeline.speedSpecs.at(0);
    t.speed = speed != nullptr ? speed->speed : kDefaultSpeed;
    const RotateValue* rotation = timeline.rotateSpecs.at(0);
    t.rotationSpeed = rotation != nullptr ? rotation->speed : 0.0;
    const double* cycle = timeline.cycleSpecs.at(0);
    t.cycleSpeed = cycle != nullptr ? *cycle : 0.0;
    // The first composition of the first key frame uses the texture scale that every key frame
    // starts with.
    t.textureScale = !timeline.rotateSpecs.empty() ? 1.0 : 2.0;
    return true;
}

void Timeline::applyColorCountStep() {
    if (state_.timeline.colorCountStep != 0)
        changeColorCount(state_.timeline.colorCountStep, kMinColorCount);
}

void Timeline::beginKeyFrame(int keyFrame, int keyFrameCount) {
    const TimelineSpec& timeline = spec_.timeline;
    TimelineState& state = state_.timeline;
    KeyFrameTargets t;
    t.keyFrame = keyFrame;

    const KeyFrameSpeeds speeds =
        timeline.timeType == kTimeTypeSpeed
            ? speedListSpeeds(timeline.speedSpecs, keyFrame, state.speed)
            : timeSpeeds(state.keyFrameSpeeds, timeline.timeType, keyFrame);
    t.speedIn = usableSpeed(speeds.speedIn);
    t.speedOut = usableSpeed(speeds.speedOut);

    if (const ColorCountValue* count = timeline.colorCountSpecs.at(keyFrame)) {
        state.colorCountStep = keyFrame == 0 ? count->firstKeyFrameStep : count->step;
    }

    state_.zoom =
        KeyFrameZoom(zoomSetupOf(spec_, t.speedIn, t.speedOut, keyFrame >= keyFrameCount - 1));
    const int n = state_.zoom.frameCount();
    t.frameCount = n;

    // Rotation: a row sets the speed to reach at the end of the key frame; a row starting with
    // the letter R turns the picture back upright during the key frame instead.
    t.rotationTarget = state.rotationSpeed;
    if (const RotateValue* rotation = timeline.rotateSpecs.at(keyFrame)) {
        if (rotation->returnUpright) {
            t.returnUpright = true;
            t.rotationTarget = 0.0;
            t.rotationStep = 0.0;
            state.rotationSpeed = 0.0;
        } else {
            t.rotationTarget = rotation->speed;
            t.rotationStep = (t.rotationTarget - state.rotationSpeed) / n;
        }
    }

    t.cycleTarget = state.cycleSpeed;
    if (const double* cycle = timeline.cycleSpecs.at(keyFrame)) {
        t.cycleTarget = *cycle;
        t.cycleStep = (t.cycleTarget - state.cycleSpeed) / n;
    }

    // Division: geometric from the current value to the row's value, exactly the row's value at
    // the end. A target of the other sign, or a start from 0, has no geometric path and moves
    // linearly instead.
    const double current = state_.color.colorDivision;
    t.divisionBase = current;
    t.divisionTarget = current;
    if (const double* division = timeline.divideSpecs.at(keyFrame)) {
        t.divisionTarget = *division;
        const double ratio = t.divisionTarget / current;
        if (current != 0.0 && std::isfinite(ratio) && ratio >= 0.0) {
            const double perFrame = std::pow(10.0, std::log10(ratio) / n);
            t.divisionFactor = perFrame;
            t.divisionRatio = perFrame;
        } else {
            t.divisionLinear = true;
            t.divisionStep = (t.divisionTarget - current) / n;
            t.divisionNext = current + t.divisionStep;
        }
    }

    state.textureScale = !timeline.rotateSpecs.empty() ? 1.0 : 2.0;
    state.frameFactor = zoomPerFrame(spec_.zoom.zoomFactor, n);
    const ColoringSpec& coloring = spec_.coloring;
    if (coloring.slopes || coloring.colorMethod == kDistance) {
        state.slopeScaleStep = (state.slopeScaleTarget - state.slopeScale) / n;
    }
    if (coloring.colorMethod == kStretched) {
        state.stretchMinStep = (state.keyMin - state_.color.stretchMin) / (n + 1);
        state.stretchMaxStep = (state.keyMax - state_.color.stretchMax) / (n + 1);
    }
    state_.targets = t;
}

namespace {

// A speed moving towards a target of the same sign stops at it (and a smaller target of the same
// sign is reached at once).
void limitToTarget(double& speed, double target) {
    if ((target > 0.0 && target < speed) || (target < 0.0 && target > speed))
        speed = target;
}

}  // namespace

std::optional<FrameView> Timeline::beginFrame() {
    if (!state_.zoom.mayBeginFrame())
        return std::nullopt;
    TimelineState& state = state_.timeline;
    const KeyFrameTargets& targets = state_.targets;
    state.rotationSpeed += targets.rotationStep;
    limitToTarget(state.rotationSpeed, targets.rotationTarget);
    if (targets.returnUpright) {
        double& rotation = state_.color.startRotation;
        const double upright = rotation > 0.0 ? 360.0 : -360.0;
        rotation += (upright - rotation) / 3.0;
    }
    state.cycleSpeed += targets.cycleStep;
    limitToTarget(state.cycleSpeed, targets.cycleTarget);
    return state_.zoom.viewOfFrame();
}

bool Timeline::needsRecomposition() const {
    const int method = spec_.coloring.colorMethod;
    return state_.timeline.cycleSpeed != 0.0 || state_.targets.divisionFactor != 0.0 ||
           state_.targets.divisionLinear || state_.timeline.colorCountStep != 0 ||
           method == kStretched || method == kDistance || spec_.coloring.slopes;
}

void Timeline::advanceColorsForComposition() {
    ColorState& color = state_.color;
    const KeyFrameTargets& targets = state_.targets;
    color.startCycle += state_.timeline.cycleSpeed;
    if (targets.divisionLinear) {
        color.colorDivision = targets.divisionNext;
    } else if (targets.divisionFactor != 0.0) {
        color.colorDivision = targets.divisionFactor * targets.divisionBase;
    }
    if (state_.timeline.colorCountStep != 0)
        changeColorCount(state_.timeline.colorCountStep, kMinColorCount);
}

void Timeline::advanceScalesAfterComposition() {
    TimelineState& state = state_.timeline;
    state.slopeScale += state.slopeScaleStep;
    if (state.slopeScale < state.slopeScaleTarget)
        state.slopeScale = state.slopeScaleTarget;
    state.textureScale /= state.frameFactor;
}

std::optional<double> Timeline::scrollColumn() {
    return state_.zoom.scrollColumn();
}

bool Timeline::endFrame() {
    KeyFrameTargets& targets = state_.targets;
    if (targets.divisionLinear) {
        targets.divisionNext += targets.divisionStep;
    } else {
        targets.divisionFactor *= targets.divisionRatio;
    }
    return state_.zoom.mayContinueAfterFrame();
}

void Timeline::endKeyFrame() {
    TimelineState& state = state_.timeline;
    state.rotationSpeed = state_.targets.rotationTarget;
    state.cycleSpeed = state_.targets.cycleTarget;
    state_.color.colorDivision = state_.targets.divisionTarget;
    if (state_.targets.returnUpright) {
        state_.color.startRotation = 0.0;
        state.rotationSpeed = 0.0;
    }
}

}  // namespace zr
