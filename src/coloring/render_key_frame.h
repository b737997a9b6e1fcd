#pragma once

#include <optional>
#include <string>

#include "coloring/color_key_frame.h"
#include "keyframes/key_frame_cache.h"
#include "support/frame_image.h"

namespace zr {

// The picture of the key frame at `path`: found in `cache` or read into it, then coloured with
// `plan`. None when the key frame cannot be read (the listener, if any, hears of a file that cannot
// be opened) or coloured.
OptionalImage renderKeyFrame(KeyFrameCache& cache, const std::string& path,
                             const ColoringPlan& plan,
                             UnreadableKeyFrameListener* listener = nullptr);

// The picture of one key frame merged into a movie frame; filled in by keyFrameJobRun.
struct KeyFrameJob {
    KeyFrameCache* cache = nullptr;
    std::string path;  // the key frame file; names the ".jpg" picture once it stood in
    ColoringPlan plan;
    OptionalImage result;
    UnreadableKeyFrameListener* listener = nullptr;
    // Why neither the key frame nor its picture gave a picture (set when `result` is empty).
    std::optional<KeyFrameReadError> unusable;
};

// Renders the job's key frame. When that gives no picture, the picture of the same name with
// the extension ".jpg" stands in: the extension of the file name is replaced (".jpg" is added
// to a name without one) and `path` keeps the new name. A key frame with neither leaves
// `result` empty and `unusable` saying why. Always returns 0.
int keyFrameJobRun(KeyFrameJob& job);

// What keyFrameJobRun does when the job's key frame gave no picture: the picture of the same
// name stands in (or `unusable` says why there is none).
void standInForKeyFrame(KeyFrameJob& job);

// The path of the picture that stands in for the key frame at `path`: the ".jpg" of the same
// name, or a ".png" or ".bmp" path itself.
std::string fallbackPicturePath(const std::string& path);

}  // namespace zr
