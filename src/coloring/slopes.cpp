#include "coloring/slopes.h"

#include <cmath>

#include "coloring/color_math.h"

namespace zr {

SlopeLight slopeLight(double rotationDegrees) {
    const double alpha = (45 - rotationDegrees) * kColoringPi / 180;
    return SlopeLight{std::cos(alpha), std::sin(alpha)};
}

void SlopeShading::apply(Bgr& pixel, int x, int y, const KeyFrame& frame) const {
    const int width = frame.width;
    const int height = frame.height;
    const double here = frame.smoothValue(x, y);

    // Backward differences, forward ones in the first column and row.
    double p = here;
    double q = here;
    if (x > 0) {
        q = frame.smoothValue(x - 1, y);
    } else if (width > 1) {
        p = frame.smoothValue(1, y);
        q = here;
    }
    double r = here;
    double u = here;
    if (y > 0) {
        u = frame.smoothValue(x, y - 1);
    } else if (height > 1) {
        r = frame.smoothValue(x, 1);
        u = here;
    }
    if (divideSlopes) {
        p = std::trunc(p + cycleOffset);
        q = std::trunc(q + cycleOffset);
        r = std::trunc(r + cycleOffset);
        u = std::trunc(u + cycleOffset);
    }
    const double dX = q - p;
    const double dY = u - r;
    const double g = dX * light.cosAlpha + dY * light.sinAlpha;
    if (here == 0.0) {
        return;  // the ratio below would divide by zero
    }
    const double ratio = (g + here) / here;
    const double e = std::pow(ratio, slopeScale);
    if (std::isnan(e)) {
        return;
    }
    const double quarterPi = kColoringPi / 4;
    if (e > 1) {
        const double k = (std::atan(e) - quarterPi) / quarterPi * slopeRatio / 100;
        pixel.blue = toByte(pixel.blue * (1 - k));
        pixel.green = toByte(pixel.green * (1 - k));
        pixel.red = toByte(pixel.red * (1 - k));
    } else {
        const double k = (std::atan(1 / e) - quarterPi) / quarterPi * slopeRatio / 100;
        pixel.blue = toByte(pixel.blue * (1 - k) + 255 * k);
        pixel.green = toByte(pixel.green * (1 - k) + 255 * k);
        pixel.red = toByte(pixel.red * (1 - k) + 255 * k);
    }
}

}  // namespace zr
