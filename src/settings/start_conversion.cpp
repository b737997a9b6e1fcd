#include "settings/start_conversion.h"

namespace zr {

bool prepareStart(Controls& controls, double zoomFactorInForce) {
    if (keyFramePattern(controls.text(kIdDirectory)).size() > kMaxPathLength)
        return false;  // Start refuses the folder before it asks anything
    if (selectionOr(controls, kIdZoomOutLevel, 0) == kCustomZoomEntry) {
        const std::optional<std::string> typed = controls.askZoomSize();
        if (typed) {
            const double value = readDouble(*typed);
            controls.setCustomZoomFactor(value == 0.0 ? 2.0 : value);
        } else {
            controls.setCustomZoomFactor(zoomFactorInForce);
        }
    }
    if (controls.checked(kIdTextureMulti)) {
        const std::vector<std::string> pictures =
            textureFolderPictures(controls.text(kIdTextureFile));
        if (!pictures.empty()) {
            controls.setText(kIdTextureFile, pictures.front());
            return true;
        }
    }
    return false;
}

StartConversionResult convertControlsForStart(Controls& controls, const MovieSpec& previous) {
    StartConversionResult result;
    result.texturePositionReset = prepareStart(controls, previous.zoom.zoomFactor);
    MovieSpecResult built = buildMovieSpec(controls, previous);
    if (!built.ok()) {
        result.ok = false;
        result.errorKind = built.error.kind;
        result.message = built.error.message;
        result.focusControl = built.error.focusControl;
        return result;
    }
    result.spec = std::move(built.spec);
    return result;
}

}  // namespace zr
