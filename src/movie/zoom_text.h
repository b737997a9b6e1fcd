#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "settings/setting_types.h"
#include "support/frame_image.h"

namespace zr {

// The zoom text holds at most this many characters; a longer zoom part is cut.
inline constexpr std::size_t kMaxZoomTextLength = 39;

// "ZOOM: " followed by the zoom part of a key frame path, in upper case: the text after the
// path's last "_", up to the first ".jpg" in it, else the first ".zmb", else its end. A path
// without "_" gives "ZOOM: " alone.
std::string buildZoomText(std::string_view keyFramePath);

// Mixes the block of `width` x `height` pixels at (sx, sy) of `source` into `target` at (x, y):
// every byte becomes (percent * source + (100 - percent) * target) / 100, fraction dropped.
// Pixels outside either picture, and source pixels equal to `keyColour`, are left alone.
void blendPicture(FrameImage& target, int x, int y, int width, int height, const FrameImage& source,
                  int sx, int sy, int percent, std::optional<Bgr> keyColor);

// Draws zoom texts: a shadowed caption, 70 % opaque, in the top-left corner of a picture and
// sized in proportion to its width (full size on a picture 1920 pixels wide). Owns the font and
// keeps the last caption it scaled, so drawing the same text on frames of one width is cheap.
class ZoomTextPainter {
  public:
    // The face is looked up through fontconfig, which falls back to a similar face.
    explicit ZoomTextPainter(std::string_view fontFace);
    ~ZoomTextPainter();
    ZoomTextPainter(const ZoomTextPainter&) = delete;
    ZoomTextPainter& operator=(const ZoomTextPainter&) = delete;

    // False when no font could be loaded; drawing then does nothing.
    bool ready() const;
    // The font file in use, empty when none.
    const std::string& fontFile() const;

    // The caption of `text` before scaling: the measured text plus 6 pixels each way.
    struct Size {
        int width = 0;
        int height = 0;
    };
    Size captionSize(std::string_view text);

    // Where the caption of `text` goes on a picture `pictureWidth` pixels wide: the block from
    // (left, top) to (right, bottom), exclusive; empty when the caption would be too small.
    struct Area {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };
    Area area(int pictureWidth, std::string_view text);

    // Draws the caption of `text` into `picture` in place.
    void draw(FrameImage& picture, std::string_view text);

  private:
    struct Font;
    FrameImage renderCaption(std::string_view text);
    // Makes the scaled caption of `text` for pictures `pictureWidth` pixels wide.
    void prepare(int pictureWidth, std::string_view text);

    std::unique_ptr<Font> font_;
    std::string cachedText_;
    int cachedWidth_ = -1;
    FrameImage cachedCaption_;  // scaled; empty when the caption is too small to show
};

// Draws the caption of `text` into `picture` with the face `fontFace` (a one-off painter).
void drawZoomText(FrameImage& picture, std::string_view text,
                  std::string_view fontFace = "Courier New");

}  // namespace zr
