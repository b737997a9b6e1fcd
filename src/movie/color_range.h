#pragma once

#include <optional>
#include <string>

namespace zr {

class RenderHost;
struct KeyFrame;
struct MovieSpec;
struct ColoringSpec;
struct RunState;

// The iteration counts of a key frame as the colour range reads them, scanned column by column
// (x outer, y inner): the smallest, the largest, and the largest as it stood before its last
// increase (the first count when no later count is larger).
struct CountRange {
    int smallest = 0;
    int largest = 0;
    int largestBeforeLast = 0;
};
// None for a key frame without counts (or whose tables do not match its size).
std::optional<CountRange> scanCounts(const KeyFrame& keyFrame);

// Whether the colour range is used at all: slopes, or the Stretched or Distance method.
bool colorRangeInUse(const ColoringSpec& coloring);

// The colour range of one key frame: the range targets keyMin and keyMax, the Stretched range
// (stretchMin, stretchMax: -1 and 1 mean not set yet) and the slope scale with its target for
// the key frame. Shows "min-keyMin-start" as the colours and the start of the range as the
// iteration value through `host` (methods other than Stretched; none: not shown).
void applyColorRange(const KeyFrame& keyFrame, const MovieSpec& spec, RunState& state,
                      RenderHost* host);

}  // namespace zr
