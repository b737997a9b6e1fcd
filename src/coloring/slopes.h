#pragma once

#include "keyframes/key_frame.h"
#include "settings/setting_types.h"

namespace zr {

// Direction of the light that shades slopes: it comes from 45 degrees and turns with the
// picture's rotation.
struct SlopeLight {
    double cosAlpha = 1.0;
    double sinAlpha = 0.0;
};

// The light for a rotation in degrees: alpha = (45 - rotation) * pi / 180.
SlopeLight slopeLight(double rotationDegrees);

// Slope shading with its settings read once, for use on every pixel of a key frame.
struct SlopeShading {
    SlopeLight light;
    double slopeScale = 1.0;    // power applied to the height ratio
    double slopeRatio = 50.0;   // largest change of a pixel, in percent
    bool divideSlopes = false;  // compare whole-number values shifted by the cycle offset
    double cycleOffset = 0.0;

    // Lightens a pixel whose height field rises towards the light, darkens one where it falls
    // away. A pixel whose smooth value is 0, or whose height ratio has no power (a ratio <= 0
    // with a fractional slope scale), stays as it is.
    void apply(Bgr& pixel, int x, int y, const KeyFrame& frame) const;
};

}  // namespace zr
