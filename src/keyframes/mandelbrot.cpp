#include "keyframes/mandelbrot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "support/thread_pool.h"

namespace zr {

namespace {

// Escape radius. A large radius makes |z| grow almost exactly as |z|^2 per step once it is
// past, which the smooth fraction relies on.
constexpr double kEscapeRadius = 256.0;
constexpr double kEscapeRadiusSquared = kEscapeRadius * kEscapeRadius;
// An orbit that returns this close to an earlier point has settled on a cycle: the point is
// inside. Far below the pixel spacing of the deepest view that double precision resolves.
constexpr double kCycleToleranceSquared = 1e-28;

struct Escape {
    int count;
    float fraction;
};

// True for points of the main cardioid and of the period-2 bulb: they never escape, and
// skipping them saves most of the work of the wide views.
bool insideMainComponents(double re, double im) {
    const double y2 = im * im;
    const double q = (re - 0.25) * (re - 0.25) + y2;
    if (q * (q + (re - 0.25)) <= 0.25 * y2) {
        return true;
    }
    return (re + 1.0) * (re + 1.0) + y2 <= 0.0625;
}

// Iterates z -> z^2 + c from z = 0. For a point that escapes at step n (|z_n| > R), the file
// holds count n and fraction log2(ln|z_n| / ln R), which lies in [0, 1) and grows as the
// point escapes more steeply. The smooth value count + 1 - fraction is then the usual
// continuous escape value n + 1 - log2(ln|z_n|), shifted by the constant log2(ln R) so that
// it runs from n to n + 1 within the band of count n: continuous across the bands, and equal
// to n + 1 where |z_n| is exactly R.
// Points still bounded at maxIteration, or caught in a cycle, are inside the set.
Escape escapeOf(double re, double im, int maxIteration) {
    if (insideMainComponents(re, im)) {
        return {maxIteration, 0.0f};
    }
    double x = 0.0;
    double y = 0.0;
    // Cycle detection: compare z with a copy taken at growing intervals.
    double savedX = 0.0;
    double savedY = 0.0;
    int checkInterval = 8;
    int sinceSaved = 0;
    for (int n = 1; n <= maxIteration; ++n) {
        const double x2 = x * x;
        const double y2 = y * y;
        y = 2.0 * x * y + im;
        x = x2 - y2 + re;
        const double modulus2 = x * x + y * y;
        if (modulus2 > kEscapeRadiusSquared) {
            const double fraction = std::log2(0.5 * std::log(modulus2) / std::log(kEscapeRadius));
            return {n, static_cast<float>(std::clamp(fraction, 0.0, 1.0))};
        }
        const double driftX = x - savedX;
        const double driftY = y - savedY;
        if (driftX * driftX + driftY * driftY < kCycleToleranceSquared) {
            return {maxIteration, 0.0f};
        }
        if (++sinceSaved == checkInterval) {
            savedX = x;
            savedY = y;
            sinceSaved = 0;
            checkInterval *= 2;
        }
    }
    return {maxIteration, 0.0f};
}

}  // namespace

KeyFrameFileData renderMandelbrot(const MandelbrotView& view, const ThreadShare& threads) {
    KeyFrameFileData data = KeyFrameFileData::uniform(view.pixelWidth, view.pixelHeight);
    data.maxIteration = view.maxIteration;
    data.iterationDivision = 1;
    data.keyColors = defaultKeyColors();

    const double pixelSize = view.width / view.pixelWidth;
    const double left = view.centerRe - 0.5 * view.width;
    const double top = view.centerIm + 0.5 * pixelSize * view.pixelHeight;
    // Rows differ widely in cost: they are handed out one at a time.
    threads.parallelFor(0, view.pixelHeight, [&](int y) {
        const double im = top - (y + 0.5) * pixelSize;
        for (int x = 0; x < view.pixelWidth; ++x) {
            const Escape escape = escapeOf(left + (x + 0.5) * pixelSize, im, view.maxIteration);
            data.setPixel(x, y, escape.count, escape.fraction);
        }
    });
    return data;
}

std::string formatZoom(double zoom) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2e", zoom);
    std::string formatted(text);
    const std::size_t e = formatted.find('e');
    if (e == std::string::npos) {
        return formatted;  // inf or nan
    }
    std::string mantissa = formatted.substr(0, e);
    if (mantissa.find('.') != std::string::npos) {
        mantissa.erase(mantissa.find_last_not_of('0') + 1);
        if (mantissa.back() == '.') {
            mantissa.pop_back();
        }
    }
    std::string exponent = formatted.substr(e + 1);
    std::string sign;
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) {
        if (exponent[0] == '-') {
            sign = "-";
        }
        exponent.erase(0, 1);
    }
    exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
    return mantissa + "e" + sign + exponent;
}

std::string keyFrameFileName(int number, double zoom) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%05d", number);
    return std::string(prefix) + "_" + formatZoom(zoom) + ".zmb";
}

std::vector<Bgr> defaultKeyColors() {
    // Deep blue through ice and gold to a dark red, and back towards blue: blue, green, red.
    return {
        Bgr{100, 7, 0},    Bgr{203, 107, 32}, Bgr{255, 237, 237}, Bgr{0, 170, 255},
        Bgr{0, 2, 0},      Bgr{60, 20, 120},  Bgr{160, 80, 20},   Bgr{220, 200, 120},
        Bgr{40, 120, 240}, Bgr{10, 40, 150},  Bgr{80, 10, 40},    Bgr{140, 30, 10},
    };
}

bool makeKeyFrameSeries(const KeyFrameSeries& series,
                        const std::function<void(int written, int total)>& progress,
                        std::string* error, const ThreadShare& threads) {
    std::error_code folderError;
    std::filesystem::create_directories(series.folder, folderError);
    if (folderError) {
        if (error) {
            *error = "cannot create the folder \"" + series.folder + "\": " + folderError.message();
        }
        return false;
    }
    for (int number = 1; number <= series.count; ++number) {
        // Key frame 1 is the deepest; every higher number is zoomFactor times wider.
        const double widening = std::pow(series.zoomFactor, series.count - number);
        MandelbrotView view;
        view.centerRe = series.centerRe;
        view.centerIm = series.centerIm;
        view.width = series.widestWidth / widening;
        view.pixelWidth = series.pixelWidth;
        view.pixelHeight = series.pixelHeight;
        view.maxIteration = series.maxIteration;
        const KeyFrameFileData data = renderMandelbrot(view, threads);
        const double zoom = 4.0 / view.width;
        const std::string path =
            (std::filesystem::path(series.folder) / keyFrameFileName(number, zoom)).string();
        if (!writeKeyFrameFile(path, data, error)) {
            return false;
        }
        if (progress) {
            progress(number, series.count);
        }
    }
    return true;
}

}  // namespace zr
