#include "movie/zoom_text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>

#include "coloring/scale_image.h"

namespace zr {

namespace {

constexpr int kEmHeight = 60;          // pixels: the character height without internal leading
constexpr int kReferenceWidth = 1920;  // the caption has its full size on a frame this wide
constexpr int kMargin = 10;            // from the corner, on a frame of the reference width
constexpr int kOpacityPercent = 70;
constexpr Bgr kBackground{255, 0, 0};  // pure blue, also the key colour of the blend
constexpr Bgr kShadow{0, 0, 0};
constexpr Bgr kTextColor{192, 255, 255};  // light yellow
constexpr int kShadowOffset = 8;
constexpr int kTextOffset = 2;
constexpr int kCaptionPadding = 6;

std::string upperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

}  // namespace

std::string buildZoomText(std::string_view keyFramePath) {
    std::string text = "ZOOM: ";
    const std::size_t underscore = keyFramePath.rfind('_');
    if (underscore == std::string_view::npos) {
        return text;
    }
    std::string_view part = keyFramePath.substr(underscore + 1);
    std::size_t end = part.find(".jpg");
    for (const std::string_view extension : {".zmb", ".png", ".bmp"}) {
        if (end == std::string_view::npos) {
            end = part.find(extension);
        }
    }
    if (end != std::string_view::npos) {
        part = part.substr(0, end);
    }
    text += upperCase(part);
    if (text.size() > kMaxZoomTextLength) {
        text.resize(kMaxZoomTextLength);
    }
    return text;
}

void blendPicture(FrameImage& target, int x, int y, int width, int height, const FrameImage& source,
                  int sx, int sy, int percent, std::optional<Bgr> keyColor) {
    if (target.empty() || source.empty()) {
        return;
    }
    const BlockOverlap block = blockOverlap(source, sx, sy, target, x, y, width, height);
    if (block.empty()) {
        return;
    }
    const int keep = 100 - percent;
    for (int r = block.firstRow; r < block.endRow; ++r) {
        const std::uint8_t* from = source.pixel(sx + block.firstColumn, sy + r);
        std::uint8_t* to = target.pixel(x + block.firstColumn, y + r);
        for (int c = block.firstColumn; c < block.endColumn; ++c, from += 3, to += 3) {
            if (keyColor && from[0] == keyColor->blue && from[1] == keyColor->green &&
                from[2] == keyColor->red) {
                continue;
            }
            for (int b = 0; b < 3; ++b) {
                to[b] = static_cast<std::uint8_t>((percent * from[b] + keep * to[b]) / 100);
            }
        }
    }
}

// The FreeType face of the zoom text and what is needed to lay out a line with it.
struct ZoomTextPainter::Font {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    std::string file;
    int ascent = 0;
    int descent = 0;

    ~Font() {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
        if (library != nullptr) {
            FT_Done_FreeType(library);
        }
    }

    // The file of the installed face that fontconfig finds for `faceName`; empty for none.
    static std::string findFontFile(std::string_view faceName) {
        std::string result;
        FcConfig* const config = FcInitLoadConfigAndFonts();
        if (config == nullptr) {
            return result;
        }
        const std::string name(faceName.empty() ? "Courier New" : faceName);
        FcPattern* const pattern = FcPatternCreate();
        if (pattern != nullptr) {
            FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
            FcConfigSubstitute(config, pattern, FcMatchPattern);
            FcDefaultSubstitute(pattern);
            FcResult outcome = FcResultNoMatch;
            FcPattern* const match = FcFontMatch(config, pattern, &outcome);
            if (match != nullptr) {
                FcChar8* file = nullptr;
                if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
                    file != nullptr) {
                    result = reinterpret_cast<const char*>(file);
                }
                FcPatternDestroy(match);
            }
            FcPatternDestroy(pattern);
        }
        FcConfigDestroy(config);
        return result;
    }

    bool load(std::string_view faceName) {
        file = findFontFile(faceName);
        if (file.empty() || FT_Init_FreeType(&library) != 0) {
            return false;
        }
        if (FT_New_Face(library, file.c_str(), 0, &face) != 0) {
            face = nullptr;
            return false;
        }
        if (FT_Set_Pixel_Sizes(face, 0, kEmHeight) != 0) {
            return false;
        }
        // The line height is the face's ascent and descent as the desktop measures them (the
        // OS/2 table's Windows metrics), else the face's own.
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        if (os2 != nullptr && face->units_per_EM != 0 && os2->usWinAscent != 0) {
            const double scale = static_cast<double>(kEmHeight) / face->units_per_EM;
            ascent = static_cast<int>(std::lround(os2->usWinAscent * scale));
            descent = static_cast<int>(std::lround(os2->usWinDescent * scale));
        } else {
            ascent = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
            descent = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
        }
        return true;
    }

    // Pixels from one pen position to the next for character `c`.
    int advance(unsigned char c) const {
        if (FT_Load_Char(face, c, FT_LOAD_DEFAULT) != 0) {
            return 0;
        }
        return static_cast<int>((face->glyph->advance.x + 32) >> 6);
    }

    Size measure(std::string_view text) const {
        int width = 0;
        for (const char c : text) {
            width += advance(static_cast<unsigned char>(c));
        }
        return {width, ascent + descent};
    }

    // Draws `text` in `colour` with its top-left corner at (x, y), clipped to `picture`;
    // the glyphs' coverage mixes the colour into what is there.
    void drawText(FrameImage& picture, int x, int y, std::string_view text, Bgr color) const {
        const int baseline = y + ascent;
        int pen = x;
        for (const char ch : text) {
            if (FT_Load_Char(face, static_cast<unsigned char>(ch), FT_LOAD_RENDER) != 0) {
                continue;
            }
            const FT_GlyphSlot glyph = face->glyph;
            const FT_Bitmap& bitmap = glyph->bitmap;
            const int left = pen + glyph->bitmap_left;
            const int top = baseline - glyph->bitmap_top;
            for (int row = 0; row < static_cast<int>(bitmap.rows); ++row) {
                const int py = top + row;
                if (py < 0 || py >= picture.height()) {
                    continue;
                }
                const unsigned char* coverage = bitmap.buffer + row * bitmap.pitch;
                for (int column = 0; column < static_cast<int>(bitmap.width); ++column) {
                    const int px = left + column;
                    const int alpha = coverage[column];
                    if (px < 0 || px >= picture.width() || alpha == 0) {
                        continue;
                    }
                    std::uint8_t* p = picture.pixel(px, py);
                    p[0] = static_cast<std::uint8_t>((alpha * color.blue + (255 - alpha) * p[0]) /
                                                     255);
                    p[1] = static_cast<std::uint8_t>((alpha * color.green + (255 - alpha) * p[1]) /
                                                     255);
                    p[2] =
                        static_cast<std::uint8_t>((alpha * color.red + (255 - alpha) * p[2]) / 255);
                }
            }
            pen += static_cast<int>((glyph->advance.x + 32) >> 6);
        }
    }
};

ZoomTextPainter::ZoomTextPainter(std::string_view fontFace) : font_(std::make_unique<Font>()) {
    if (!font_->load(fontFace)) {
        font_.reset();
    }
}

ZoomTextPainter::~ZoomTextPainter() = default;

bool ZoomTextPainter::ready() const {
    return font_ != nullptr;
}

const std::string& ZoomTextPainter::fontFile() const {
    static const std::string none;
    return font_ ? font_->file : none;
}

ZoomTextPainter::Size ZoomTextPainter::captionSize(std::string_view text) {
    if (!font_) {
        return {};
    }
    const Size textSize = font_->measure(text);
    return {textSize.width + kCaptionPadding, textSize.height + kCaptionPadding};
}

FrameImage ZoomTextPainter::renderCaption(std::string_view text) {
    const Size size = captionSize(text);
    FrameImage caption(size.width, size.height);
    for (int y = 0; y < caption.height(); ++y) {
        std::uint8_t* p = caption.row(y);
        for (int x = 0; x < caption.width(); ++x, p += 3) {
            p[0] = kBackground.blue;
            p[1] = kBackground.green;
            p[2] = kBackground.red;
        }
    }
    font_->drawText(caption, kShadowOffset, kShadowOffset, text, kShadow);
    font_->drawText(caption, kTextOffset, kTextOffset, text, kTextColor);
    return caption;
}

void ZoomTextPainter::prepare(int pictureWidth, std::string_view text) {
    if (text == cachedText_ && pictureWidth == cachedWidth_) {
        return;
    }
    cachedText_ = std::string(text);
    cachedWidth_ = pictureWidth;
    cachedCaption_ = FrameImage();
    const Size size = captionSize(text);
    const long long scaledWidth =
        static_cast<long long>(pictureWidth) * size.width / kReferenceWidth;
    const long long scaledHeight =
        static_cast<long long>(pictureWidth) * size.height / kReferenceWidth;
    if (scaledWidth > 0 && scaledHeight > 0) {
        cachedCaption_ = scaleImage(renderCaption(text), static_cast<int>(scaledWidth),
                                    static_cast<int>(scaledHeight));
    }
}

ZoomTextPainter::Area ZoomTextPainter::area(int pictureWidth, std::string_view text) {
    if (!font_ || pictureWidth <= 0) {
        return {};
    }
    prepare(pictureWidth, text);
    if (cachedCaption_.empty()) {
        return {};
    }
    const int margin = pictureWidth * kMargin / kReferenceWidth;
    return {margin, margin, margin + cachedCaption_.width(), margin + cachedCaption_.height()};
}

void ZoomTextPainter::draw(FrameImage& picture, std::string_view text) {
    const Area block = area(picture.width(), text);
    if (block.right <= block.left || picture.empty()) {
        return;
    }
    blendPicture(picture, block.left, block.top, cachedCaption_.width(), cachedCaption_.height(),
                 cachedCaption_, 0, 0, kOpacityPercent, kBackground);
}

void drawZoomText(FrameImage& picture, std::string_view text, std::string_view fontFace) {
    ZoomTextPainter painter(fontFace);
    painter.draw(picture, text);
}

}  // namespace zr
