#include "keyframes/render_key_frame.h"

#include <exception>

#include "coloring/color_key_frame.h"
#include "keyframes/key_frame_cache.h"
#include "settings/movie_settings.h"

namespace zr {

std::atomic<int>& skipExistingMovie() {
    static std::atomic<int> flag{0};
    return flag;
}

OptionalImage renderKeyFrame(const std::string& path, double cycleOffset, double slopeScale,
                             double textureScale, RenderHost* host) {
    if (movieSettings().skipRender || skipExistingMovie().load()) {
        return std::nullopt;
    }
    const KeyFrame* frame = keyFrameCache().load(path, host);
    if (!frame) {
        return std::nullopt;
    }
    try {
        FrameImage image = colorKeyFrame(*frame, cycleOffset, slopeScale, textureScale);
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

}  // namespace zr
