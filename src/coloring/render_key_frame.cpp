#include "coloring/render_key_frame.h"

#include <exception>

#include "coloring/color_key_frame.h"
#include "coloring/palette.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "settings/movie_settings.h"

namespace zr {

OptionalImage renderKeyFrame(KeyFrameCache& cache, const std::string& path, double cycleOffset,
                             double slopeScale, double textureScale, RenderHost* host) {
    if (movieSettings().skipRender) {
        return std::nullopt;
    }
    const KeyFrame* frame = cache.load(path, host);
    if (!frame) {
        return std::nullopt;
    }
    try {
        FrameImage image = colorKeyFrame(
            *frame, coloringPlanFromSettings(movieSettings(), frame->width, frame->height,
                                             cycleOffset, slopeScale, textureScale));
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
    return path.substr(0, dot) + ".jpg";
}

int keyFrameJobRun(KeyFrameJob& job) {
    job.result = renderKeyFrame(*job.cache, job.path, job.cycleOffset, job.slopeScale,
                                job.textureScale, job.host);
    if (!job.result) {
        job.path = fallbackPicturePath(job.path);
        job.result = loadImageFile(job.path);
    }
    return 0;
}

void takeKeyFrameHeader(const KeyFrame& keyFrame, MovieSettings& settings) {
    if (settings.colorsFromKeyFrame) {
        if (settings.divisionFromKeyFrame) {
            settings.colorDivision = static_cast<double>(keyFrame.iterationDivision);
        }
        const int count = static_cast<int>(keyFrame.keyColors.size());
        for (int i = 0; i < count && i < kPaletteSize; ++i) {
            settings.keyColors[static_cast<std::size_t>(i)] = keyFrame.keyColors[i];
        }
        settings.keyColorCount = count;
        expandPalette(count);
        settings.colorsFromKeyFrame = 0;
    }
    if (keyFrame.maxIteration) {
        settings.maxIteration = *keyFrame.maxIteration;
    }
}

}  // namespace zr
