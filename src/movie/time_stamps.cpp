#include "movie/time_stamps.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

#include "settings/setting_types.h"

namespace zr {

namespace {

int clampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

struct StampRow {
    int keyFrame = 0;
    long long seconds = 0;
};

// A point of a search over speeds: a speed and the frame count of the ramp that ends at it.
struct CountAt {
    long long speed = 0;
    long long frames = 0;
};

// The searches below rely on the frame count of a ramp from a fixed speed sp never falling as the
// speed s at its end grows. It holds because every step of countFrames is monotone in s:
// f1 = 10^(log10(Z) / s) does not grow with s (the division, and pow of 10, are monotone); the
// step (f1 - f0) / min(sp, s) does not grow either (for s < sp both the difference and 1 / s
// shrink as s grows, for s > sp the divisor is fixed); every factor, min(f + step, f1) or
// max(f + step, f1), is a monotone function of those, so each factor does not grow and each
// zoom progress p / g does not fall; the count, the first frame at which p falls below 1/Z (or
// the loop limit, which grows with s), therefore does not fall. A zoom factor of 1 or less, or
// not a number, gives a count that does not depend on s at all.
class RampSearch {
  public:
    RampSearch(long long fromSpeed, double zoomFactor, RampCount form,
               const StopCheck& stopRequested)
        : fromSpeed_(fromSpeed), zoomFactor_(zoomFactor), form_(form), stop_(stopRequested) {}

    long long framesAt(long long speed) const {
        return countFrames(clampToInt(fromSpeed_), clampToInt(speed), zoomFactor_, form_);
    }

    bool stopped() const { return stopped_; }

    // The first speed from `below` up to `highest` whose count reaches `target`, given that the
    // count at `below` does not: what trying one speed after the other would find, and `highest`
    // when no speed up to it reaches the target. Its count is extrapolated from the counts seen
    // so far; the reach grows at least geometrically, so the target is passed within a few
    // dozen tries at most.
    long long firstReachingAbove(CountAt below, long long target, long long highest) {
        CountAt previous{0, 0};
        long long reach = 1;
        while (below.speed < highest) {
            const double slope = static_cast<double>(below.frames - previous.frames) /
                                 static_cast<double>(below.speed - previous.speed);
            const double missing = static_cast<double>(target - below.frames);
            // A little past the extrapolated speed, so that the next try is likely beyond.
            double distance = slope > 0.0 ? missing / slope * 1.01 + 2.0 : 0.0;
            distance = std::max(distance, static_cast<double>(reach));
            const long long tried = distance >= static_cast<double>(highest - below.speed)
                                        ? highest
                                        : below.speed + static_cast<long long>(distance);
            const CountAt at{tried, framesAt(tried)};
            if (at.frames >= target)
                return firstReachingBetween(below, at, target);
            if (isStopRequested())
                return at.speed;
            previous = below;
            below = at;
            reach *= 2;
        }
        return highest;
    }

    // The first speed after `below` and up to `above` whose count reaches `target`, given that
    // the count at `below` does not and the count at `above` does. The next speed tried is where
    // a straight line through the two counts reaches the target; when that fails to halve the
    // range twice running, the middle of the range is tried instead.
    long long firstReachingBetween(CountAt below, CountAt above, long long target) {
        int slowSteps = 0;
        while (above.speed - below.speed > 1) {
            if (isStopRequested())
                return above.speed;
            const long long width = above.speed - below.speed;
            long long tried = below.speed + width / 2;
            if (slowSteps < 2) {
                const double share = static_cast<double>(target - below.frames) /
                                     static_cast<double>(above.frames - below.frames);
                tried = below.speed + static_cast<long long>(std::ceil(share * width));
            }
            tried = std::clamp(tried, below.speed + 1, above.speed - 1);
            const CountAt at{tried, framesAt(tried)};
            if (at.frames >= target) {
                above = at;
            } else {
                below = at;
            }
            slowSteps = above.speed - below.speed > width / 2 ? slowSteps + 1 : 0;
        }
        return above.speed;
    }

  private:
    bool isStopRequested() {
        if (!stopped_ && stop_ && stop_())
            stopped_ = true;
        return stopped_;
    }

    long long fromSpeed_;
    double zoomFactor_;
    RampCount form_;
    const StopCheck& stop_;
    bool stopped_ = false;
};

// Hands out the speeds of one stretch of "Time": the speed moves from the previous stretch's
// speed `previous` towards this stretch's base speed by halving the difference per key frame,
// and the frames the zoom ramps gain or lose are spread over the stretch. Returns the base speed
// in force at the end, which the next stretch starts from, or none after a stop request.
std::optional<long long> smoothStretch(long long previous, long long base, long long frames,
                                       long long keyFrames, double zoomFactor,
                                       long long firstKeyFrame, int keyFrameLimit,
                                       const StopCheck& stopRequested, std::vector<int>& speeds) {
    long long sp = previous;
    long long j = base;
    long long g = frames - base * keyFrames;
    std::vector<long long> offsets;
    if (sp != 0) {
        for (long long c = 0; c < keyFrames && sp != j; ++c) {
            if (stopRequested && stopRequested())
                return std::nullopt;
            long long l = 0;
            if (sp > j) {
                l = std::max<long long>((sp - j) / 2, 1);
                if (c >= keyFrames - 1)
                    l = 0;
                offsets.push_back(l);
                g -= l;
                RampSearch search(sp, zoomFactor, RampCount::kFromFirstStep, stopRequested);
                if (l != 0) {
                    g += j + l - search.framesAt(j + l);
                } else if (j > 0) {
                    // The base speed falls until the ramp to it takes no more frames than the
                    // base speed this key frame began with; no lower than 0 (a speed of 1).
                    const long long limit = j;
                    const CountAt atBase{j, search.framesAt(j)};
                    if (atBase.frames > limit) {
                        const CountAt atOne{1, search.framesAt(1)};
                        j = atOne.frames > limit
                                ? 0
                                : search.firstReachingBetween(atOne, atBase, limit + 1) - 1;
                    }
                }
                if (search.stopped())
                    return std::nullopt;
                sp -= l;
            } else {
                l = std::max<long long>((j - sp) / 2, 1);
                if (c >= keyFrames - 1)
                    l = 0;
                offsets.push_back(-l);
                g += l;
                RampSearch search(sp, zoomFactor, RampCount::kFromFirstFrame, stopRequested);
                if (l != 0) {
                    g += j - l - search.framesAt(j - l);
                } else if (sp > 1 && zoomFactor > 1.0) {
                    // The base speed grows until the ramp to it takes at least as many frames
                    // as the base speed this key frame began with. From a speed of 1 the ramp
                    // leaves the key frame at its first step, and a zoom factor of 1 or less
                    // never makes it leave: either way no base speed makes the ramp any longer.
                    const long long limit = j;
                    const CountAt atBase{j, search.framesAt(j)};
                    if (atBase.frames < limit) {
                        j = search.firstReachingAbove(atBase, limit,
                                                      std::max<long long>(j, kMaxSpeed));
                    }
                }
                if (search.stopped())
                    return std::nullopt;
                sp += l;
            }
            if (l == 0)
                sp = j;
        }
    }
    const long long share = g >= 0 ? g / keyFrames + 1 : g / keyFrames - 1;
    for (long long c = 0; c < keyFrames && firstKeyFrame + c < keyFrameLimit; ++c) {
        const long long offset = c < static_cast<long long>(offsets.size()) ? offsets[c] : 0;
        long long a = 0;
        if (g > 0) {
            a = g < share ? g : share;
        } else if (g < 0) {
            a = g <= share ? share : g;
        }
        speeds.push_back(clampToInt(offset + j + a));
        g -= a;
    }
    return j;
}

}  // namespace

std::optional<std::vector<int>> buildKeyFrameSpeeds(const SpeedTrack& speedSpecs, int timeType,
                                                    int fps, double zoomFactor, int keyFrameLimit,
                                                    const StopCheck& stopRequested) {
    std::vector<StampRow> rows;
    for (const SpeedTrack::Row* row : timeStampOrder(speedSpecs)) {
        rows.push_back({row->value.stampKeyFrame, row->value.stampSeconds});
    }

    std::vector<int> speeds;
    long long previousKeyFrame = 0;  // P
    long long previousFrame = 0;     // Tp
    long long previousSpeed = 0;     // sp
    for (const StampRow& row : rows) {
        const long long frame = row.seconds * fps;
        if (frame < previousFrame)
            return std::nullopt;
        const long long keyFrames = row.keyFrame - previousKeyFrame;  // d
        if (keyFrames <= 0) {
            // A stretch without key frames hands out no speeds; its frames are skipped.
            previousFrame = frame;
            previousKeyFrame = std::max<long long>(previousKeyFrame, row.keyFrame);
            continue;
        }
        const long long total = frame - previousFrame;
        long long base = total / keyFrames;  // j
        if (timeType == kTimeTypeTimeNs) {
            const long long extra = total - base * keyFrames;  // g
            for (long long c = 0; c < keyFrames && previousKeyFrame + c < keyFrameLimit; ++c) {
                speeds.push_back(clampToInt(c < extra ? base + 1 : base));
            }
        } else {
            const auto endBase =
                smoothStretch(previousSpeed, base, total, keyFrames, zoomFactor, previousKeyFrame,
                              keyFrameLimit, stopRequested, speeds);
            if (!endBase)
                return std::nullopt;
            base = *endBase;
        }
        previousFrame = frame;
        previousKeyFrame = row.keyFrame;
        previousSpeed = base;
    }
    return speeds;
}

KeyFrameSpeeds timeSpeeds(const std::vector<int>& keyFrameSpeeds, int timeType, int keyFrame) {
    KeyFrameSpeeds speeds;
    const int rows = static_cast<int>(keyFrameSpeeds.size());
    if (rows == 0 || keyFrame < 0)
        return speeds;
    if (keyFrame >= rows) {
        speeds.speedIn = speeds.speedOut = keyFrameSpeeds.back();
        return speeds;
    }
    if (timeType == kTimeTypeTimeNs || keyFrame == 0) {
        speeds.speedIn = speeds.speedOut = keyFrameSpeeds[keyFrame];
        return speeds;
    }
    speeds.speedIn = keyFrameSpeeds[keyFrame - 1];
    speeds.speedOut = keyFrameSpeeds[keyFrame];
    if (speeds.speedIn - speeds.speedOut == 1 || speeds.speedOut - speeds.speedIn == 1) {
        speeds.speedOut = speeds.speedIn;
    }
    return speeds;
}

}  // namespace zr
