#pragma once

#include <string>

#include "support/frame_image.h"

namespace zr {

class RenderHost;

// The picture of one key frame merged into a movie frame; filled in by keyFrameJobRun.
struct KeyFrameJob {
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

}  // namespace zr
