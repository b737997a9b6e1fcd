#pragma once

#include "settings/start_conversion.h"

namespace zr {

class Controls;

// Start's conversion of the controls into the settings record, with the return of the texture
// stage to the first picture of the folder that a rebuilt "Multi" list asks for. Nothing is
// started; the desktop program and every command go through here.
StartConversionResult convertForStart(Controls& controls);

}  // namespace zr
