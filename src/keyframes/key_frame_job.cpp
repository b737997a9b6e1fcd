#include "keyframes/key_frame_job.h"

#include "keyframes/image_file.h"
#include "keyframes/render_key_frame.h"

namespace zr {

std::string fallbackPicturePath(const std::string& path) {
    // Only a dot within the file name starts its extension; a dot in a folder name does not.
    const std::size_t nameAt = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (nameAt != std::string::npos && dot < nameAt)) {
        return path + ".jpg";
    }
    return path.substr(0, dot) + ".jpg";
}

int keyFrameJobRun(KeyFrameJob& job) {
    job.result =
        renderKeyFrame(job.path, job.cycleOffset, job.slopeScale, job.textureScale, job.host);
    if (!job.result) {
        job.path = fallbackPicturePath(job.path);
        job.result = loadImageFile(job.path);
    }
    return 0;
}

}  // namespace zr
