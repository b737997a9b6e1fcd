#include "coloring/render_key_frame.h"

#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "support/text_match.h"

namespace zr {

OptionalImage renderKeyFrame(KeyFrameCache& cache, const std::string& path,
                             const ColoringPlan& plan, UnreadableKeyFrameListener* listener) {
    const KeyFrame* frame = cache.load(path, listener);
    if (!frame) {
        return std::nullopt;
    }
    try {
        FrameImage image = colorKeyFrame(*frame, plan);
        if (image.empty()) {
            return std::nullopt;
        }
        return image;
    } catch (const std::exception&) {
        // A picture too large to hold, or memory running out: no picture, as for a file that
        // cannot be read.
        return std::nullopt;
    }
}

std::string fallbackPicturePath(const std::string& path) {
    // Only a dot within the file name starts its extension; a dot in a folder name does not.
    const std::size_t nameAt = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (nameAt != std::string::npos && dot < nameAt)) {
        return path + ".jpg";
    }
    // A PNG or BMP picture listed as a key frame (a folder of such pictures alone) is its own.
    const std::string extension = path.substr(dot);
    if (equalIgnoringCase(extension, ".png") || equalIgnoringCase(extension, ".bmp")) {
        return path;
    }
    return path.substr(0, dot) + ".jpg";
}

int keyFrameJobRun(KeyFrameJob& job) {
    job.unusable.reset();
    job.result = renderKeyFrame(*job.cache, job.path, job.plan, job.listener);
    if (!job.result) {
        standInForKeyFrame(job);
    }
    return 0;
}

void standInForKeyFrame(KeyFrameJob& job) {
    KeyFrameReadError why = job.cache->readError(job.path).value_or(KeyFrameReadError{
        job.path, KeyFrameFault::kNoMemory, "it could not be coloured: not enough memory"});
    job.path = fallbackPicturePath(job.path);
    job.result = loadImageFile(job.path);
    if (!job.result) {
        std::error_code ignored;
        if (std::filesystem::exists(job.path, ignored)) {
            why.detail += "; its picture " + job.path + " could not be loaded either";
        }
        job.unusable = std::move(why);
    }
}

}  // namespace zr
