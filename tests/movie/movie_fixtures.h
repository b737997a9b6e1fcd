#pragma once

#include <string>
#include <vector>

#include "settings/movie_spec.h"

namespace zr::testing {

// The lines of a text (a list box's lines, TAB between key frame and value).
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

inline SpeedTrack speedsOf(const std::string& text) {
    return speedTrackOf(linesOf(text));
}
inline RotateTrack rotationsOf(const std::string& text) {
    return rotateTrackOf(linesOf(text));
}
inline CycleTrack cyclesOf(const std::string& text) {
    return cycleTrackOf(linesOf(text));
}
inline DivideTrack divisionsOf(const std::string& text) {
    return divideTrackOf(linesOf(text));
}
inline ColorCountTrack colorCountsOf(const std::string& text) {
    return colorCountTrackOf(linesOf(text));
}

}  // namespace zr::testing
