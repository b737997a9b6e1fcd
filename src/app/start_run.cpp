#include "app/start_run.h"

#include "coloring/texture.h"

namespace zr {

StartConversionResult convertForStart(Controls& controls) {
    StartConversionResult result = convertControlsForStart(controls);
    if (result.texturePositionReset) {
        resetTexturePosition();
    }
    return result;
}

}  // namespace zr
