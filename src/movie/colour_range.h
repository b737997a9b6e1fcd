#pragma once

#include <optional>
#include <string>

namespace zr {

class RenderHost;
class RenderSession;
struct KeyFrame;
struct MovieSettings;
struct TimelineState;

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
bool colourRangeInUse(const MovieSettings& settings);

// The colour range of one key frame: the range targets keyMin and keyMax, the Stretched range
// (stretchMin, stretchMax: -1 and 1 mean not set yet) and the slope scale with its target for
// the key frame. Shows "min-keyMin-start" in the "Colors" edit and the start of the range in the
// iteration edit (methods other than Stretched).
void applyColourRange(const KeyFrame& keyFrame, TimelineState& state, MovieSettings& settings,
                      RenderHost& host);

// At the start of a key frame, when the colour range is in use: the key frame at `path` is
// taken from the session's key frame cache, read into it first when it is not there, and its
// range applied. Nothing happens when it cannot be read.
void updateColourRange(RenderSession& session, const std::string& keyFramePath,
                       TimelineState& state, MovieSettings& settings, RenderHost& host);

}  // namespace zr
