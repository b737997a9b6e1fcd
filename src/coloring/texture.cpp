#include "coloring/texture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "coloring/color_math.h"
#include "coloring/rotate_image.h"
#include "coloring/scale_image.h"
#include "keyframes/image_file.h"

namespace zr {

namespace {

// How many loaded and scaled pictures the store keeps: the current picture and the next one of
// a cross-fade, and one more.
constexpr std::size_t kKeptPictures = 3;

// The largest texture side; larger sizes (an absurd depth) give no texture.
constexpr double kLargestSide = 65536.0;

bool fitsAPicture(int width, int height) {
    return width > 0 && height > 0 &&
           static_cast<double>(FrameImage::strideFor(width)) * height <= 1024.0 * 1024.0 * 1024.0;
}

bool loads(TextureStore& store, const std::string& path) {
    return store.picture(path) != nullptr;
}

// The texture at width x height made again from the current picture: while a cross-fade runs it
// goes one frame further, and when it ends the next picture becomes the current one. False,
// with nothing changed, when the current picture cannot be loaded.
bool remake(const TextureSpec& spec, int fps, TexturePosition& position, TextureStore& store,
            int width, int height, TextureRecipe& recipe) {
    if (!loads(store, position.file)) {
        return false;
    }
    recipe = TextureRecipe{};
    recipe.file = position.file;
    recipe.width = width;
    recipe.height = height;
    const int count = static_cast<int>(spec.textureFiles.size());
    if (position.fade > 0 && count > 0) {
        --position.fade;
        const int next = (position.index + 1) % count;
        const std::string& incoming = spec.textureFiles[static_cast<std::size_t>(next)];
        if (loads(store, incoming)) {
            recipe.incoming = incoming;
            // Share of the current picture, in percent, falling to 0 at the fade's end.
            recipe.percent = fps > 0 ? position.fade * 100 / fps : 0;
        }
        if (position.fade == 0) {
            position.index = next;
            position.file = incoming;
        }
    }
    return true;
}

// Makes the held texture again at its size; without a current picture the stage stops.
void remakeHeld(const TextureSpec& spec, int fps, TexturePosition& position, TextureStore& store,
                TextureRecipe::Turn turn, double turnDegrees) {
    TextureRecipe recipe;
    if (!remake(spec, fps, position, store, position.recipe.width, position.recipe.height,
                recipe)) {
        position.failedFile = position.file;
        position.held = false;
        return;
    }
    recipe.turn = turn;
    recipe.turnDegrees = turnDegrees;
    position.recipe = recipe;
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

std::shared_ptr<const FrameImage> TextureStore::picture(const std::string& path) {
    const std::lock_guard guard(lock_);
    for (auto entry = loaded_.begin(); entry != loaded_.end(); ++entry) {
        if (entry->path == path) {
            loaded_.splice(loaded_.begin(), loaded_, entry);
            return loaded_.front().picture;
        }
    }
    std::shared_ptr<const FrameImage> picture;
    try {
        OptionalImage image = loadImageFile(path);
        if (image && !image->empty()) {
            picture = std::make_shared<const FrameImage>(std::move(*image));
        }
    } catch (const std::exception&) {
        picture.reset();  // a picture too large to hold: no texture
    }
    loaded_.push_front(Loaded{path, picture});
    if (loaded_.size() > kKeptPictures) {
        loaded_.pop_back();
    }
    return picture;
}

std::shared_ptr<const FrameImage> TextureStore::scaled(const std::string& path, int width,
                                                       int height) {
    {
        const std::lock_guard guard(lock_);
        for (auto entry = scaled_.begin(); entry != scaled_.end(); ++entry) {
            if (entry->path == path && entry->width == width && entry->height == height) {
                scaled_.splice(scaled_.begin(), scaled_, entry);
                return scaled_.front().picture;
            }
        }
    }
    const std::shared_ptr<const FrameImage> source = picture(path);
    if (!source) {
        return nullptr;
    }
    auto picture = std::make_shared<const FrameImage>(scaleImage(*source, width, height));
    const std::lock_guard guard(lock_);
    scaled_.push_front(Scaled{path, width, height, picture});
    if (scaled_.size() > kKeptPictures) {
        scaled_.pop_back();
    }
    return picture;
}

std::shared_ptr<const FrameImage> TextureStore::texture(const TextureRecipe& recipe) {
    {
        const std::lock_guard guard(lock_);
        if (lastTexture_ && recipe == lastRecipe_) {
            return lastTexture_;
        }
    }
    if (!fitsAPicture(recipe.width, recipe.height)) {
        return nullptr;
    }
    std::shared_ptr<const FrameImage> current;
    FrameImage made;
    try {
        current = scaled(recipe.file, recipe.width, recipe.height);
        if (!current) {
            return nullptr;
        }
        made = *current;
        if (!recipe.incoming.empty()) {
            if (const auto incoming = scaled(recipe.incoming, recipe.width, recipe.height)) {
                std::uint8_t* out = made.data();
                const std::uint8_t* in = incoming->data();
                const int percent = recipe.percent;
                for (std::size_t i = 0; i < made.sizeBytes(); ++i) {
                    out[i] = static_cast<std::uint8_t>(
                        (percent * out[i] + (100 - percent) * in[i]) / 100);
                }
            }
        }
    } catch (const std::exception&) {
        return nullptr;  // memory running out: no texture
    }
    if (recipe.turn == TextureRecipe::Turn::kAboutCorner) {
        rotateImage(made, made, recipe.width / 2 - 1, recipe.height / 2 - 1, recipe.turnDegrees,
                    true);
    } else if (recipe.turn == TextureRecipe::Turn::kAboutCentre) {
        rotateImage(made, made, recipe.width / 2, recipe.height / 2, recipe.turnDegrees, true);
    }
    auto texture = std::make_shared<const FrameImage>(std::move(made));
    const std::lock_guard guard(lock_);
    lastRecipe_ = recipe;
    lastTexture_ = texture;
    return texture;
}

std::string textureProblem(const TextureSpec& spec) {
    if (!spec.texture || spec.textureFile.empty()) {
        return {};
    }
    std::vector<std::string> files =
        spec.textureMulti ? spec.textureFiles : std::vector<std::string>{};
    if (files.empty()) {
        files.push_back(spec.textureFile);
    }
    for (const std::string& file : files) {
        std::ifstream stream(file, std::ios::binary);
        if (!stream) {
            return "texture file \"" + file + "\" cannot be read: " + std::strerror(errno);
        }
        if (!loadImageFile(file)) {
            return "texture file \"" + file +
                   "\" cannot be read: it is no JPEG, PNG or BMP picture this program reads";
        }
    }
    return {};
}

TexturePosition startingTexture(const TextureSpec& spec) {
    TexturePosition position;
    position.file = spec.textureFile;
    return position;
}

void prepareTexture(const TextureSpec& spec, int fps, bool rotationListHasRows,
                    TexturePosition& position, TextureStore& store, int width, int height,
                    double rotation) {
    if (position.held || position.failedFile == position.file) {
        return;
    }
    // The texture is larger than the key frame by a margin that grows with the depth, so that
    // displaced samples near the edges still find texture.
    const double margin = spec.textureDepth / 64;
    const double widthWithMargin = std::trunc(width + margin);
    const double heightWithMargin = std::trunc(height + margin);
    const int textureWidth = static_cast<int>(std::clamp(widthWithMargin, 1.0, kLargestSide));
    const int textureHeight = static_cast<int>(std::clamp(heightWithMargin, 1.0, kLargestSide));
    TextureRecipe recipe;
    if (!fitsAPicture(textureWidth, textureHeight) ||
        !remake(spec, fps, position, store, textureWidth, textureHeight, recipe)) {
        // Not tried again for every key frame: the stage stays off for the run.
        position.failedFile = position.file;
        return;
    }
    if (rotationListHasRows) {
        recipe.turn = TextureRecipe::Turn::kAboutCorner;
        recipe.turnDegrees = -rotation;
    }
    position.recipe = recipe;
    position.held = true;
}

void textureKeyFrameStep(const TextureSpec& spec, int fps, TexturePosition& position, int keyFrame,
                         int keyFrameCount) {
    const int pictures = static_cast<int>(spec.textureFiles.size());
    if (pictures == 0 || position.fade != 0) {
        return;
    }
    // Each picture of the folder covers an equal share of the key frames.
    if (keyFrame >= keyFrameCount / pictures * (position.index + 1)) {
        position.fade = fps - 1;
    }
}

void textureRotationStep(const TextureSpec& spec, int fps, TexturePosition& position,
                         TextureStore& store, double rotation) {
    if (position.held) {
        remakeHeld(spec, fps, position, store, TextureRecipe::Turn::kAboutCentre, -rotation);
    }
}

void textureFadeStep(const TextureSpec& spec, int fps, TexturePosition& position,
                     TextureStore& store) {
    if (position.held && position.fade > 0) {
        remakeHeld(spec, fps, position, store, TextureRecipe::Turn::kNone, 0.0);
    }
}

std::shared_ptr<const FrameImage> heldTexture(const TexturePosition& position,
                                              TextureStore& store) {
    return position.held ? store.texture(position.recipe) : nullptr;
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

}  // namespace zr
