#pragma once

#include <string>

#include "support/frame_image.h"

namespace zr {

class KeyFrameCache;
class RenderHost;
struct KeyFrame;
struct MovieSettings;

// The picture of the key frame at `path`: found in `cache` or read into it, then coloured with
// the colour cycle offset, slope scale and texture scale given. None at once, touching nothing,
// with "Skip render"; none when the key frame cannot be read (the host, if any, hears of a file
// that cannot be opened) or coloured.
OptionalImage renderKeyFrame(KeyFrameCache& cache, const std::string& path, double cycleOffset,
                             double slopeScale, double textureScale, RenderHost* host = nullptr);

// The picture of one key frame merged into a movie frame; filled in by keyFrameJobRun.
struct KeyFrameJob {
    KeyFrameCache* cache = nullptr;
    std::string path;  // the key frame file; names the ".jpg" picture once it stood in
    double cycleOffset = 0.0;
    OptionalImage result;
    double slopeScale = 0.0;
    double textureScale = 1.0;
    RenderHost* host = nullptr;
};

// Renders the job's key frame. When that gives no picture, the picture of the same name with
// the extension ".jpg" stands in: the extension of the file name is replaced (".jpg" is added
// to a name without one) and `path` keeps the new name. A key frame with neither leaves
// `result` empty. Always returns 0.
int keyFrameJobRun(KeyFrameJob& job);

// The path of the picture that stands in for the key frame at `path`.
std::string fallbackPicturePath(const std::string& path);

// What a run or Test takes from a key frame it has read. The key colours and, unless a DIVIDE
// row of key frame 0 sets it, the colour division come from one key frame only: while
// colorsFromKeyFrame is set, they are taken and the flag cleared. A key frame that holds a
// maximum iteration makes it the one that key frames without it use.
void takeKeyFrameHeader(const KeyFrame& keyFrame, MovieSettings& settings);

}  // namespace zr
