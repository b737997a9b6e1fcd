#include "movie/timeline.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "movie/time_stamps.h"
#include "settings/controls.h"
#include "settings/movie_settings.h"
#include "settings/render_host.h"
#include "support/text_table.h"

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

KeyFrameZoomSetup zoomSetupOf(const MovieSettings& settings, int speedIn, int speedOut,
                              bool lastKeyFrame) {
    KeyFrameZoomSetup setup;
    setup.speedIn = speedIn;
    setup.speedOut = speedOut;
    setup.zoomFactor = settings.zoomFactor;
    setup.movieWidth = settings.movieWidth;
    setup.movieHeight = settings.movieHeight;
    setup.lastKeyFrame = lastKeyFrame;
    setup.stopOnLastFrame = settings.stopOnLastFrame != 0;
    setup.leftScrolling = settings.leftScrolling != 0;
    return setup;
}

int findSpecRow(const TextTable& table, int keyFrame) {
    const std::string key = std::to_string(keyFrame);
    for (int row = 0; row < table.rowCount(); ++row) {
        if (table.cell(row, 0) == key)
            return row;
    }
    return -1;
}

KeyFrameSpeeds speedListSpeeds(const TextTable& speedSpecs, int keyFrame, int& speedInForce) {
    KeyFrameSpeeds speeds;
    const int row = findSpecRow(speedSpecs, keyFrame);
    if (row >= 0)
        speedInForce = specInt(speedSpecs.cell(row, 1));
    speeds.speedIn = speedInForce;
    const int nextRow = keyFrame < INT_MAX ? findSpecRow(speedSpecs, keyFrame + 1) : -1;
    speeds.speedOut = nextRow >= 0 ? specInt(speedSpecs.cell(nextRow, 1)) : speeds.speedIn;
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

TimelineEngine::TimelineEngine(MovieSettings& settings, RenderHost& host,
                               std::function<void(int)> expandPalette)
    : settings_(settings),
      host_(host),
      expandPalette_(std::move(expandPalette)),
      zoom_(KeyFrameZoomSetup{}) {}

void TimelineEngine::startColourRange(std::string_view startIterationText) {
    // "Start iter value" holds an unsigned number: a sign or no digits read as 0 (not set).
    std::size_t at = 0;
    while (at < startIterationText.size() &&
           std::isspace(static_cast<unsigned char>(startIterationText[at]))) {
        ++at;
    }
    if (at < startIterationText.size() && startIterationText[at] == '+')
        ++at;
    unsigned long long value = 0;
    while (at < startIterationText.size() &&
           std::isdigit(static_cast<unsigned char>(startIterationText[at]))) {
        value = std::min<unsigned long long>(value * 10 + (startIterationText[at] - '0'),
                                             0xFFFFFFFFULL);
        ++at;
    }
    settings_.stretchMin = value == 0 ? -1.0 : static_cast<double>(value);
    settings_.stretchMax = 1.0;
    state_.keyMin = value == 0 ? 1 : truncToInt(settings_.stretchMin);
}

void TimelineEngine::changeColorCount(int step, int minimum) {
    const long long count = static_cast<long long>(settings_.keyColorCount) + step;
    settings_.keyColorCount =
        static_cast<int>(std::clamp<long long>(count, minimum, kMaxColorCount));
    host_.setValue(kIdColors, std::to_string(settings_.keyColorCount));
    if (expandPalette_)
        expandPalette_(settings_.keyColorCount);
}

void TimelineEngine::applyFirstKeyFrameRows() {
    const int divideRow = findSpecRow(settings_.divideSpecs, 0);
    if (divideRow >= 0) {
        settings_.divisionFromKeyFrame = 0;
        settings_.colorDivision = specDouble(settings_.divideSpecs.cell(divideRow, 1));
    } else {
        settings_.divisionFromKeyFrame = 1;
    }
    const int countRow = findSpecRow(settings_.colorCountSpecs, 0);
    state_.colorCountStep = 0;
    if (countRow >= 0) {
        // The row of key frame 0 reads as a decimal number, its fraction dropped.
        const int step = truncToInt(specDouble(settings_.colorCountSpecs.cell(countRow, 1)));
        if (step != 0)
            changeColorCount(step, kMinColorCountAtStart);
        state_.colorCountStep = step;
    }
}

bool TimelineEngine::startSpeeds(int timeType, int keyFrameCount) {
    timeType_ =
        (timeType == kTimeTypeTime || timeType == kTimeTypeTimeNs) ? timeType : kTimeTypeSpeed;
    state_.keyFrameSpeeds.clear();
    if (timeType_ != kTimeTypeSpeed) {
        const auto stopRequested = [this] { return settings_.stopRequested.load() != 0; };
        auto speeds = buildKeyFrameSpeeds(settings_.speedSpecs, timeType_, settings_.fps,
                                          settings_.zoomFactor, keyFrameCount, stopRequested);
        if (!speeds && !stopRequested()) {
            host_.showError(kTimeStampOrderError);
            return false;
        }
        if (speeds)
            state_.keyFrameSpeeds = std::move(*speeds);
    }
    const int speedRow = findSpecRow(settings_.speedSpecs, 0);
    state_.speed = speedRow >= 0 ? specInt(settings_.speedSpecs.cell(speedRow, 1)) : kDefaultSpeed;
    const int rotateRow = findSpecRow(settings_.rotateSpecs, 0);
    state_.rotationSpeed =
        rotateRow >= 0 ? specDouble(settings_.rotateSpecs.cell(rotateRow, 1)) : 0.0;
    const int cycleRow = findSpecRow(settings_.cycleSpecs, 0);
    state_.cycleSpeed = cycleRow >= 0 ? specDouble(settings_.cycleSpecs.cell(cycleRow, 1)) : 0.0;
    // The first composition of the first key frame uses the texture scale that every key frame
    // starts with.
    state_.textureScale = settings_.rotateSpecs.rowCount() > 0 ? 1.0 : 2.0;
    return true;
}

bool TimelineEngine::startRun(std::string_view startIterationText, int timeType,
                              int keyFrameCount) {
    startColourRange(startIterationText);
    applyFirstKeyFrameRows();
    return startSpeeds(timeType, keyFrameCount);
}

void TimelineEngine::applyColorCountStep() {
    if (state_.colorCountStep != 0)
        changeColorCount(state_.colorCountStep, kMinColorCount);
}

void TimelineEngine::beginKeyFrame(int keyFrame, int keyFrameCount) {
    KeyFrameTargets t;
    t.keyFrame = keyFrame;

    const KeyFrameSpeeds speeds =
        timeType_ == kTimeTypeSpeed ? speedListSpeeds(settings_.speedSpecs, keyFrame, state_.speed)
                                    : timeSpeeds(state_.keyFrameSpeeds, timeType_, keyFrame);
    t.speedIn = usableSpeed(speeds.speedIn);
    t.speedOut = usableSpeed(speeds.speedOut);

    const int countRow = findSpecRow(settings_.colorCountSpecs, keyFrame);
    if (countRow >= 0) {
        const std::string_view value = settings_.colorCountSpecs.cell(countRow, 1);
        state_.colorCountStep = keyFrame == 0 ? truncToInt(specDouble(value)) : specInt(value);
    }

    zoom_ =
        KeyFrameZoom(zoomSetupOf(settings_, t.speedIn, t.speedOut, keyFrame >= keyFrameCount - 1));
    const int n = zoom_.frameCount();
    t.frameCount = n;

    // Rotation: a row sets the speed to reach at the end of the key frame; a row starting with
    // the letter R turns the picture back upright during the key frame instead.
    t.rotationTarget = state_.rotationSpeed;
    const int rotateRow = findSpecRow(settings_.rotateSpecs, keyFrame);
    if (rotateRow >= 0) {
        const std::string_view value = settings_.rotateSpecs.cell(rotateRow, 1);
        if (!value.empty() && std::toupper(static_cast<unsigned char>(value[0])) == 'R') {
            t.returnUpright = true;
            t.rotationTarget = 0.0;
            t.rotationStep = 0.0;
            state_.rotationSpeed = 0.0;
        } else {
            t.rotationTarget = specDouble(value);
            t.rotationStep = (t.rotationTarget - state_.rotationSpeed) / n;
        }
    }

    t.cycleTarget = state_.cycleSpeed;
    const int cycleRow = findSpecRow(settings_.cycleSpecs, keyFrame);
    if (cycleRow >= 0) {
        t.cycleTarget = specDouble(settings_.cycleSpecs.cell(cycleRow, 1));
        t.cycleStep = (t.cycleTarget - state_.cycleSpeed) / n;
    }

    // Division: geometric from the current value to the row's value, exactly the row's value at
    // the end. A target of the other sign, or a start from 0, has no geometric path and moves
    // linearly instead.
    const double current = settings_.colorDivision;
    t.divisionBase = current;
    t.divisionTarget = current;
    const int divideRow = findSpecRow(settings_.divideSpecs, keyFrame);
    if (divideRow >= 0) {
        t.divisionTarget = specDouble(settings_.divideSpecs.cell(divideRow, 1));
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

    state_.textureScale = settings_.rotateSpecs.rowCount() > 0 ? 1.0 : 2.0;
    state_.frameFactor = zoomPerFrame(settings_.zoomFactor, n);
    if (settings_.slopes != 0 || settings_.colorMethod == kDistance) {
        state_.slopeScaleStep = (state_.slopeScaleTarget - state_.slopeScale) / n;
    }
    if (settings_.colorMethod == kStretched) {
        state_.stretchMinStep = (state_.keyMin - settings_.stretchMin) / (n + 1);
        state_.stretchMaxStep = (state_.keyMax - settings_.stretchMax) / (n + 1);
    }
    targets_ = t;
}

namespace {

// A speed moving towards a target of the same sign stops at it (and a smaller target of the same
// sign is reached at once).
void limitToTarget(double& speed, double target) {
    if ((target > 0.0 && target < speed) || (target < 0.0 && target > speed))
        speed = target;
}

}  // namespace

std::optional<FrameView> TimelineEngine::beginFrame() {
    if (!zoom_.mayBeginFrame())
        return std::nullopt;
    state_.rotationSpeed += targets_.rotationStep;
    limitToTarget(state_.rotationSpeed, targets_.rotationTarget);
    if (targets_.returnUpright) {
        const double upright = settings_.startRotation > 0.0 ? 360.0 : -360.0;
        settings_.startRotation += (upright - settings_.startRotation) / 3.0;
    }
    state_.cycleSpeed += targets_.cycleStep;
    limitToTarget(state_.cycleSpeed, targets_.cycleTarget);
    return zoom_.viewOfFrame();
}

bool TimelineEngine::needsRecomposition() const {
    return state_.cycleSpeed != 0.0 || targets_.divisionFactor != 0.0 || targets_.divisionLinear ||
           state_.colorCountStep != 0 || settings_.colorMethod == kStretched ||
           settings_.colorMethod == kDistance || settings_.slopes != 0;
}

void TimelineEngine::advanceColoursForComposition() {
    settings_.startCycle += state_.cycleSpeed;
    if (targets_.divisionLinear) {
        settings_.colorDivision = targets_.divisionNext;
    } else if (targets_.divisionFactor != 0.0) {
        settings_.colorDivision = targets_.divisionFactor * targets_.divisionBase;
    }
    if (state_.colorCountStep != 0)
        changeColorCount(state_.colorCountStep, kMinColorCount);
}

void TimelineEngine::advanceScalesAfterComposition() {
    state_.slopeScale += state_.slopeScaleStep;
    if (state_.slopeScale < state_.slopeScaleTarget)
        state_.slopeScale = state_.slopeScaleTarget;
    state_.textureScale /= state_.frameFactor;
}

std::optional<double> TimelineEngine::scrollColumn() {
    return zoom_.scrollColumn();
}

bool TimelineEngine::endFrame() {
    if (targets_.divisionLinear) {
        targets_.divisionNext += targets_.divisionStep;
    } else {
        targets_.divisionFactor *= targets_.divisionRatio;
    }
    return zoom_.mayContinueAfterFrame();
}

void TimelineEngine::endKeyFrame() {
    state_.rotationSpeed = targets_.rotationTarget;
    state_.cycleSpeed = targets_.cycleTarget;
    settings_.colorDivision = targets_.divisionTarget;
    if (targets_.returnUpright) {
        settings_.startRotation = 0.0;
        state_.rotationSpeed = 0.0;
    }
}

}  // namespace zr
