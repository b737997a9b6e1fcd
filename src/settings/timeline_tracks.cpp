#include "settings/timeline_tracks.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

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

// The rows of list box lines as Start parses them: the lines joined with "\n", then cells at
// TAB and rows at "\n"; sorted by cell 0 read as a decimal when `byKeyFrame` is set.
TextTable parseLines(const std::vector<std::string>& lines, bool byKeyFrame) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += '\n';
        joined += lines[i];
    }
    TextTable table;
    table.parse(std::string_view(joined), "\t", "\n");
    if (byKeyFrame)
        table.sort(0, false, true);
    return table;
}

template <typename Value, typename Read>
Track<Value> trackOf(const std::vector<std::string>& lines, bool byKeyFrame, Read read) {
    const TextTable table = parseLines(lines, byKeyFrame);
    Track<Value> track;
    for (int row = 0; row < table.rowCount(); ++row) {
        const std::string_view key = table.cell(row, 0);
        const std::string_view value = table.cell(row, 1);
        track.add(std::string(key), std::string(value), read(key, value));
    }
    return track;
}

}  // namespace

int specInt(std::string_view text) {
    const std::string copy(text);  // strtoll wants a terminated text
    const long long value = std::strtoll(copy.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

double specDouble(std::string_view text) {
    const std::string copy(text);
    const double value = std::strtod(copy.c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

int truncToInt(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (value <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(value);
}

long long readTimeStamp(std::string_view text) {
    long long seconds = leadingNumber(text);
    for (int field = 0; field < 2 && text.size() >= 5; ++field) {
        text.remove_prefix(3);
        seconds = std::clamp(60 * seconds + leadingNumber(text), -kMaxSeconds, kMaxSeconds);
    }
    return seconds;
}

std::uint32_t readStartIteration(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    if (at < text.size() && text[at] == '+')
        ++at;
    unsigned long long value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        value = std::min<unsigned long long>(value * 10 + (text[at] - '0'), 0xFFFFFFFFULL);
        ++at;
    }
    return static_cast<std::uint32_t>(value);
}

bool canonicalKeyFrame(std::string_view text, int& keyFrame) {
    keyFrame = -1;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return false;
    if (std::to_string(value) != text)
        return false;  // "07", "-0", "+7"
    keyFrame = value;
    return true;
}

SpeedTrack speedTrackOf(const std::vector<std::string>& lines) {
    return trackOf<SpeedValue>(lines, false, [](std::string_view key, std::string_view value) {
        return SpeedValue{specInt(value), readTimeStamp(value), specDouble(key), specInt(key)};
    });
}

RotateTrack rotateTrackOf(const std::vector<std::string>& lines) {
    return trackOf<RotateValue>(lines, false, [](std::string_view, std::string_view value) {
        const bool upright =
            !value.empty() && std::toupper(static_cast<unsigned char>(value[0])) == 'R';
        return RotateValue{upright, specDouble(value)};
    });
}

CycleTrack cycleTrackOf(const std::vector<std::string>& lines) {
    return trackOf<double>(
        lines, false, [](std::string_view, std::string_view value) { return specDouble(value); });
}

DivideTrack divideTrackOf(const std::vector<std::string>& lines) {
    return trackOf<double>(
        lines, true, [](std::string_view, std::string_view value) { return specDouble(value); });
}

ColorCountTrack colorCountTrackOf(const std::vector<std::string>& lines) {
    return trackOf<ColorCountValue>(lines, true, [](std::string_view, std::string_view value) {
        return ColorCountValue{specInt(value), truncToInt(specDouble(value))};
    });
}

std::vector<const SpeedTrack::Row*> timeStampOrder(const SpeedTrack& speeds) {
    std::vector<const SpeedTrack::Row*> rows;
    rows.reserve(speeds.rows().size());
    for (const SpeedTrack::Row& row : speeds.rows())
        rows.push_back(&row);
    std::stable_sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) {
        return a->value.keyOrder < b->value.keyOrder;
    });
    return rows;
}

bool timeStampsGoBack(const SpeedTrack& speeds, int fps) {
    long long previousFrame = 0;
    for (const SpeedTrack::Row* row : timeStampOrder(speeds)) {
        const long long frame = row->value.stampSeconds * fps;
        if (frame < previousFrame)
            return true;
        previousFrame = frame;
    }
    return false;
}

}  // namespace zr
