#include "movie/movie_length.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

#include "movie/timeline.h"
#include "settings/setting_types.h"

namespace zr {

namespace {

struct SpeedLine {
    double order = 0.0;  // key frame number as the list sorts it
    int keyFrame = 0;
    int speed = 0;
};

SpeedLine parseSpeedLine(std::string_view line) {
    const std::size_t tab = line.find('\t');
    const std::string_view key = line.substr(0, tab);
    std::string_view value;
    if (tab != std::string_view::npos) {
        value = line.substr(tab + 1);
        value = value.substr(0, value.find('\t'));
    }
    return {specDouble(key), specInt(key), specInt(value)};
}

}  // namespace

namespace {

// The digits of `text` as a number below `limit`, or none.
std::optional<long long> digitsBelow(std::string_view text, long long limit) {
    if (text.empty() || text.size() > 12) {
        return std::nullopt;
    }
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value >= limit) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<MoviePosition> readMoviePosition(std::string_view text) {
    constexpr long long kAny = 1'000'000'000'000LL;
    MoviePosition position;
    if (text.find(':') == std::string_view::npos) {
        const std::optional<long long> frame = digitsBelow(text, kAny);
        if (!frame) {
            return std::nullopt;
        }
        position.frame = *frame;
        return position;
    }
    position.isTime = true;
    long long fraction = 0;
    if (const std::size_t dot = text.find('.'); dot != std::string_view::npos) {
        std::string_view digits = text.substr(dot + 1);
        if (digits.empty() || digits.size() > 3) {
            return std::nullopt;
        }
        const std::optional<long long> value = digitsBelow(digits, 1000);
        if (!value) {
            return std::nullopt;
        }
        fraction = *value;
        for (std::size_t i = digits.size(); i < 3; ++i) {
            fraction *= 10;
        }
        text = text.substr(0, dot);
    }
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t colon = text.find(':', start);
        fields.push_back(text.substr(start, colon - start));
        if (colon == std::string_view::npos) {
            break;
        }
        start = colon + 1;
    }
    if (fields.size() > 3) {
        return std::nullopt;
    }
    long long seconds = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // The first field takes any size (within reason), the others are below 60.
        const std::optional<long long> value = digitsBelow(fields[i], i == 0 ? 100'000 : 60);
        if (!value) {
            return std::nullopt;
        }
        seconds = seconds * 60 + *value;
    }
    position.milliseconds = seconds * 1000 + fraction;
    return position;
}

long long frameAtPosition(const MoviePosition& position, int fps) {
    if (!position.isTime) {
        return position.frame;
    }
    // At most 100000 hours: the product stays far inside 64 bits at any int FPS.
    const long long rate = std::max(fps, 1);
    return position.milliseconds / 1000 * rate + position.milliseconds % 1000 * rate / 1000;
}

std::string formatMovieTime(long long frames, int fps) {
    if (fps <= 0)
        return {};
    const long long seconds = frames / fps;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", seconds / 3600,
                  (seconds / 60) % 60, seconds % 60, (frames % fps) * 1000 / fps);
    return text;
}

std::string movieLengthEstimate(const std::vector<std::string>& speedLines, int keyFrameCount,
                                int fps) {
    if (keyFrameCount <= 0 || fps <= 0)
        return {};
    std::vector<SpeedLine> rows;
    rows.reserve(speedLines.size());
    for (const std::string& line : speedLines)
        rows.push_back(parseSpeedLine(line));
    std::stable_sort(rows.begin(), rows.end(),
                     [](const SpeedLine& a, const SpeedLine& b) { return a.order < b.order; });

    long long speed = rows.empty() ? 0 : rows[0].speed;
    if (speed == 0)
        speed = kDefaultSpeed;
    long long total = speed;
    std::size_t next = 1;
    for (int keyFrame = 1; keyFrame < keyFrameCount; ++keyFrame) {
        if (next < rows.size() && rows[next].keyFrame == keyFrame) {
            speed = rows[next].speed;
            ++next;
        }
        total += speed;
    }
    return formatMovieTime(total, fps);
}

}  // namespace zr
