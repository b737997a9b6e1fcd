#include "movie/time_stamps.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "settings/movie_settings.h"
#include "support/text_table.h"

namespace zr {

namespace {

// Largest number of seconds a stamp may hold; keeps stamp * fps far inside long long.
constexpr long long kMaxSeconds = 1LL << 40;

long long leadingNumber(std::string_view text) {
    const std::string copy(text);
    return std::clamp<long long>(std::strtoll(copy.c_str(), nullptr, 10), -kMaxSeconds,
                                 kMaxSeconds);
}

int clampToInt(long long value) {
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

struct StampRow {
    double order = 0.0;  // the key frame number as the list sorts it
    int keyFrame = 0;
    std::string_view stamp;
};

// Hands out the speeds of one stretch of "Time": the speed moves from the previous stretch's
// speed `previous` towards this stretch's base speed by halving the difference per key frame,
// and the frames the zoom ramps gain or lose are spread over the stretch. Returns the base speed
// in force at the end, which the next stretch starts from.
long long smoothStretch(long long previous, long long base, long long frames, long long keyFrames,
                        double zoomFactor, long long firstKeyFrame, int keyFrameLimit,
                        std::vector<int>& speeds) {
    long long sp = previous;
    long long j = base;
    long long g = frames - base * keyFrames;
    std::vector<long long> offsets;
    if (sp != 0) {
        for (long long c = 0; c < keyFrames && sp != j; ++c) {
            const long long jAtStart = j;
            long long l = 0;
            if (sp > j) {
                l = std::max<long long>((sp - j) / 2, 1);
                if (c >= keyFrames - 1)
                    l = 0;
                offsets.push_back(l);
                g -= l;
                for (;;) {
                    const long long n = countFrames(clampToInt(sp), clampToInt(j + l), zoomFactor,
                                                    RampCount::kFromFirstStep);
                    if (l != 0) {
                        g += j + l - n;
                        break;
                    }
                    // Below a speed of 1 the ramp cannot get any shorter.
                    if (n <= jAtStart || j <= 0)
                        break;
                    --j;
                }
                sp -= l;
            } else {
                l = std::max<long long>((j - sp) / 2, 1);
                if (c >= keyFrames - 1)
                    l = 0;
                offsets.push_back(-l);
                g += l;
                for (;;) {
                    const long long n = countFrames(clampToInt(sp), clampToInt(j - l), zoomFactor,
                                                    RampCount::kFromFirstFrame);
                    if (l != 0) {
                        g += j - l - n;
                        break;
                    }
                    // From a speed of 1 the ramp leaves the key frame at its first step, and
                    // a zoom factor of 1 or less never makes it leave: either way no base
                    // speed makes the ramp any longer.
                    if (n >= jAtStart || sp <= 1 || !(zoomFactor > 1.0) || j >= INT_MAX)
                        break;
                    ++j;
                }
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

long long readTimeStamp(std::string_view text) {
    long long seconds = leadingNumber(text);
    for (int field = 0; field < 2 && text.size() >= 5; ++field) {
        text.remove_prefix(3);
        seconds = std::clamp(60 * seconds + leadingNumber(text), -kMaxSeconds, kMaxSeconds);
    }
    return seconds;
}

std::optional<std::vector<int>> buildKeyFrameSpeeds(const TextTable& speedSpecs, int timeType,
                                                    int fps, double zoomFactor, int keyFrameLimit) {
    std::vector<StampRow> rows;
    rows.reserve(static_cast<std::size_t>(speedSpecs.rowCount()));
    for (int i = 0; i < speedSpecs.rowCount(); ++i) {
        rows.push_back({specDouble(speedSpecs.cell(i, 0)), specInt(speedSpecs.cell(i, 0)),
                        speedSpecs.cell(i, 1)});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const StampRow& a, const StampRow& b) { return a.order < b.order; });

    std::vector<int> speeds;
    long long previousKeyFrame = 0;  // P
    long long previousFrame = 0;     // Tp
    long long previousSpeed = 0;     // sp
    for (const StampRow& row : rows) {
        const long long frame = readTimeStamp(row.stamp) * fps;
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
            base = smoothStretch(previousSpeed, base, total, keyFrames, zoomFactor,
                                 previousKeyFrame, keyFrameLimit, speeds);
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
