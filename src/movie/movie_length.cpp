#include "movie/movie_length.h"

#include <algorithm>
#include <cstdio>
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
