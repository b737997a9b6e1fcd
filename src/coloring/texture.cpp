#include "coloring/texture.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "coloring/color_math.h"
#include "coloring/rotate_image.h"
#include "coloring/scale_image.h"
#include "keyframes/image_file.h"

namespace zr {

namespace {

// The texture shared by the colouring threads, and where a run is in the texture folder.
struct TextureState {
    std::mutex lock;
    std::shared_ptr<const FrameImage> image;
    int width = 0;                          // size the held texture was made at
    int height = 0;                         // (the key frame's size plus the margin)
    std::optional<std::string> failedFile;  // a texture file that could not be loaded
    int index = 0;                          // current picture of textureFiles
    int fade = 0;                           // movie frames left of the cross-fade
};

TextureState& state() {
    static TextureState textureState;
    return textureState;
}

OptionalImage loadScaled(const std::string& path, int width, int height) {
    OptionalImage picture = loadImageFile(path);
    if (!picture || picture->empty()) {
        return std::nullopt;
    }
    return scaleImage(*picture, width, height);
}

// Loads the texture file scaled to width x height and, while a cross-fade runs, blends it one
// frame further towards the next picture of the folder. Called under the state's lock.
OptionalImage makeTexture(TextureState& texture, int width, int height) {
    MovieSettings& settings = movieSettings();
    OptionalImage current = loadScaled(settings.textureFile, width, height);
    if (!current) {
        return std::nullopt;
    }
    const int count = settings.textureFiles.rowCount();
    if (texture.fade > 0 && count > 0) {
        --texture.fade;
        const int next = (texture.index + 1) % count;
        const OptionalImage incoming =
            loadScaled(std::string(settings.textureFiles.cell(next, 0)), width, height);
        if (incoming) {
            // Share of the current picture, in percent, falling to 0 at the fade's end.
            const int percent = settings.fps > 0 ? texture.fade * 100 / settings.fps : 0;
            std::uint8_t* out = current->data();
            const std::uint8_t* in = incoming->data();
            for (std::size_t i = 0; i < current->sizeBytes(); ++i) {
                out[i] =
                    static_cast<std::uint8_t>((percent * out[i] + (100 - percent) * in[i]) / 100);
            }
        }
        if (texture.fade == 0) {
            texture.index = next;
            settings.textureFile = std::string(settings.textureFiles.cell(next, 0));
        }
    }
    return current;
}

// Makes the texture again at the held size; returns false (and drops the texture) when the
// file can no longer be loaded.
bool remakeHeldTexture(TextureState& texture, double turnDegrees, bool turn) {
    OptionalImage remade = makeTexture(texture, texture.width, texture.height);
    if (!remade) {
        texture.failedFile = movieSettings().textureFile;
        texture.image.reset();
        return false;
    }
    if (turn) {
        rotateImage(*remade, *remade, texture.width / 2, texture.height / 2, turnDegrees, true);
    }
    texture.image = std::make_shared<const FrameImage>(std::move(*remade));
    return true;
}

// A displaced coordinate as a pixel index of the texture: truncated, border pixels repeated.
int textureIndexFor(double coordinate, int size, int centre) {
    if (std::isnan(coordinate)) {
        return centre;
    }
    return static_cast<int>(std::clamp(coordinate, 0.0, static_cast<double>(size - 1)));
}

// Keeps a displaced coordinate in a range where truncating it to an integer is defined.
double boundedCoordinate(double coordinate, int fallback) {
    if (std::isnan(coordinate)) {
        return fallback;
    }
    return std::trunc(std::clamp(coordinate, -1e9, 1e9));
}

}  // namespace

std::shared_ptr<const FrameImage> prepareTexture(int width, int height) {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    if (texture.image) {
        return texture.image;
    }
    MovieSettings& settings = movieSettings();
    if (texture.failedFile && *texture.failedFile == settings.textureFile) {
        return nullptr;
    }
    // The texture is larger than the key frame by a margin that grows with the depth, so that
    // displaced samples near the edges still find texture.
    const double margin = settings.textureDepth / 64;
    const double widthWithMargin = std::trunc(width + margin);
    const double heightWithMargin = std::trunc(height + margin);
    const int textureWidth = static_cast<int>(std::clamp(widthWithMargin, 1.0, 65536.0));
    const int textureHeight = static_cast<int>(std::clamp(heightWithMargin, 1.0, 65536.0));
    OptionalImage made;
    try {
        made = makeTexture(texture, textureWidth, textureHeight);
    } catch (const std::exception&) {
        made.reset();  // a picture too large to hold: no texture
    }
    if (!made) {
        // Not tried again for every key frame: the stage stays off for the run.
        texture.failedFile = settings.textureFile;
        return nullptr;
    }
    if (settings.rotateSpecs.rowCount() > 0) {
        rotateImage(*made, *made, textureWidth / 2 - 1, textureHeight / 2 - 1,
                    -settings.startRotation, true);
    }
    texture.width = textureWidth;
    texture.height = textureHeight;
    texture.image = std::make_shared<const FrameImage>(std::move(*made));
    return texture.image;
}

void TextureSampler::apply(Bgr& pixel, int x, int y, const KeyFrame& frame) const {
    if (!texture) {
        return;
    }
    const int width = frame.width;
    const int height = frame.height;
    const double here = frame.smoothValue(x, y);
    double d1 = 0;
    if (x > 0) {
        d1 = frame.smoothValue(x - 1, y) - here;
    } else if (width > 1) {
        d1 = here - frame.smoothValue(1, y);
    }
    double d2 = 0;
    if (y > 0) {
        d2 = frame.smoothValue(x, y - 1) - here;
    } else if (height > 1) {
        d2 = here - frame.smoothValue(x, 1);
    }
    const double p = depth * textureScale;
    double rise = std::pow(d1 + 1, p);
    double lift = std::pow(d2 + 1, p);
    // A base <= 0 with a fractional power has no value: no displacement along that axis.
    if (std::isnan(rise)) {
        rise = 1;
    }
    if (std::isnan(lift)) {
        lift = 1;
    }
    const double quarterPi = kColoringPi / 4;
    double u;
    if (lift > 1) {
        u = y + p * strength * ((std::atan(lift) - quarterPi) / quarterPi) / 100;
    } else {
        u = y - p * ((std::atan(1 / lift) - quarterPi) / quarterPi) * strength / 100;
    }
    double v;
    if (rise > 1) {
        v = x + p * strength * ((std::atan(rise) - quarterPi) / quarterPi) / 100;
    } else {
        v = x - p * strength * ((std::atan(1 / rise) - quarterPi) / quarterPi) / 100;
    }
    const double row = boundedCoordinate(u, y);
    const double column = boundedCoordinate(v, x);

    // Zoom about the texture's centre; a scale of 0 sends every sample to the borders.
    const FrameImage& image = *texture;
    const int centreX = image.width() / 2;
    const int centreY = image.height() / 2;
    const int sampleColumn =
        textureIndexFor((column - centreX) / textureScale + centreX, image.width(), centreX);
    const int sampleRow =
        textureIndexFor((row - centreY) / textureScale + centreY, image.height(), centreY);
    const std::uint8_t* tex = image.pixel(sampleColumn, sampleRow);
    pixel.blue = toByte(tex[0] * merge + pixel.blue * (1 - merge));
    pixel.green = toByte(tex[1] * merge + pixel.green * (1 - merge));
    pixel.red = toByte(tex[2] * merge + pixel.red * (1 - merge));
}

void discardTexture() {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    texture.image.reset();
    texture.width = 0;
    texture.height = 0;
    texture.failedFile.reset();
}

void resetTexturePosition() {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    texture.index = 0;
    texture.fade = 0;
}

void textureKeyFrameStep(int keyFrame, int keyFrameCount) {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    const MovieSettings& settings = movieSettings();
    const int pictures = settings.textureFiles.rowCount();
    if (pictures == 0 || texture.fade != 0) {
        return;
    }
    // Each picture of the folder covers an equal share of the key frames.
    if (keyFrame >= keyFrameCount / pictures * (texture.index + 1)) {
        texture.fade = settings.fps - 1;
    }
}

void textureRotationStep() {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    if (texture.image) {
        remakeHeldTexture(texture, -movieSettings().startRotation, true);
    }
}

void textureFadeStep() {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    if (texture.image && texture.fade > 0) {
        remakeHeldTexture(texture, 0.0, false);
    }
}

int textureIndex() {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    return texture.index;
}

int textureFadeFrames() {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    return texture.fade;
}

bool textureHeld() {
    TextureState& texture = state();
    const std::lock_guard guard(texture.lock);
    return texture.image != nullptr;
}

}  // namespace zr
