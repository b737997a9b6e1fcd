#include "movie/zoom_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace zr {
namespace {

TEST(BuildZoomText, TakesTheZoomPartOfTheFileNameInUpperCase) {
    EXPECT_EQ(buildZoomText("/movies/deep/00012_1.5e34.zmb"), "ZOOM: 1.5E34");
    EXPECT_EQ(buildZoomText("/movies/deep/00012_2.5e100.jpg"), "ZOOM: 2.5E100");
    EXPECT_EQ(buildZoomText("/movies/deep/key.zmb"), "ZOOM: ");
    // ".jpg" is looked for before ".zmb", each at its first place in the part.
    EXPECT_EQ(buildZoomText("k_3e5.jpg.zmb"), "ZOOM: 3E5");
    EXPECT_EQ(buildZoomText("k_3e5"), "ZOOM: 3E5");
}

TEST(BuildZoomText, CutsALongZoomPartTo39Characters) {
    const std::string text = buildZoomText("k_" + std::string(80, '9') + ".zmb");
    EXPECT_EQ(text.size(), kMaxZoomTextLength);
    EXPECT_EQ(text, "ZOOM: " + std::string(kMaxZoomTextLength - 6, '9'));
}

FrameImage filled(int width, int height, Bgr color) {
    FrameImage picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = color.blue;
            p[1] = color.green;
            p[2] = color.red;
        }
    }
    return picture;
}

Bgr at(const FrameImage& picture, int x, int y) {
    const std::uint8_t* p = picture.pixel(x, y);
    return {p[0], p[1], p[2]};
}

TEST(BlendPicture, MixesByPercentTruncatingAndSkipsTheKeyColor) {
    FrameImage target = filled(4, 4, Bgr{10, 100, 201});
    FrameImage source = filled(2, 2, Bgr{200, 0, 255});
    source.pixel(1, 1)[0] = 255;  // (1, 1) becomes the key colour: pure blue
    source.pixel(1, 1)[2] = 0;
    blendPicture(target, 1, 1, 2, 2, source, 0, 0, 70, Bgr{255, 0, 0});
    // 70 * 200 + 30 * 10 = 14300 -> 143; 30 * 100 / 100 = 30; (17850 + 6030) / 100 -> 238.
    EXPECT_EQ(at(target, 1, 1), (Bgr{143, 30, 238}));
    EXPECT_EQ(at(target, 2, 1), (Bgr{143, 30, 238}));
    EXPECT_EQ(at(target, 2, 2), (Bgr{10, 100, 201}));  // key colour: left alone
    EXPECT_EQ(at(target, 0, 0), (Bgr{10, 100, 201}));
    EXPECT_EQ(at(target, 3, 3), (Bgr{10, 100, 201}));
}

TEST(BlendPicture, LeavesOutPixelsOutsideEitherPicture) {
    FrameImage target = filled(3, 3, Bgr{0, 0, 0});
    const FrameImage source = filled(3, 3, Bgr{100, 100, 100});
    // A block far larger than both pictures, placed partly off the target and the source.
    blendPicture(target, -1, 2, 50, 50, source, 0, 0, 100, std::nullopt);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            const bool covered = y == 2 && x <= 1;
            EXPECT_EQ(at(target, x, y).red, covered ? 100 : 0) << x << "," << y;
        }
    }
    blendPicture(target, 0, 0, 3, 3, source, 5, -7, 100, std::nullopt);  // nothing overlaps
    blendPicture(target, 0, 0, -4, 3, source, 0, 0, 100, std::nullopt);
    EXPECT_EQ(at(target, 0, 0).red, 0);
}

struct Box {
    int left = 1 << 30;
    int top = 1 << 30;
    int right = -1;
    int bottom = -1;
};

// The smallest box around the pixels that differ from `colour`.
Box changedBox(const FrameImage& picture, Bgr color) {
    Box box;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (!(at(picture, x, y) == color)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
        }
    }
    return box;
}

TEST(ZoomTextPainter, PlacesAndSizesTheCaptionByThePictureWidth) {
    ZoomTextPainter painter("Courier New");
    ASSERT_TRUE(painter.ready()) << "no font found for the zoom text";
    const std::string text = "ZOOM: 1.5E34";
    const auto caption = painter.captionSize(text);
    // An em of 60 pixels: the monospaced face advances 36 pixels a character.
    EXPECT_EQ(caption.width, 12 * 36 + 6);
    EXPECT_GE(caption.height, 60 + 6);
    EXPECT_LE(caption.height, 80 + 6);
    const Bgr grey{128, 128, 128};

    FrameImage full = filled(1920, 300, grey);
    painter.draw(full, text);
    const Box fullBox = changedBox(full, grey);
    // Drawn at (10, 10) at full size: the text starts 2 pixels into the caption, the shadow
    // ends at its right and bottom edges.
    EXPECT_GE(fullBox.left, 10);
    EXPECT_LE(fullBox.left, 10 + 8);
    EXPECT_GE(fullBox.top, 10);
    EXPECT_LE(fullBox.top, 10 + 20);
    EXPECT_LE(fullBox.right, 10 + caption.width);
    EXPECT_GE(fullBox.right, 10 + caption.width - 4);
    EXPECT_LE(fullBox.bottom, 10 + caption.height);
    // 70 % of light yellow over grey somewhere in the text.
    bool sawText = false;
    for (int y = fullBox.top; y < fullBox.bottom && !sawText; ++y) {
        for (int x = fullBox.left; x < fullBox.right && !sawText; ++x) {
            sawText = at(full, x, y) == (Bgr{172, 216, 216});
        }
    }
    EXPECT_TRUE(sawText);

    FrameImage half = filled(960, 200, grey);
    painter.draw(half, text);
    const Box halfBox = changedBox(half, grey);
    EXPECT_GE(halfBox.left, 5);
    EXPECT_LE(halfBox.left, 5 + 4);
    EXPECT_GE(halfBox.top, 5);
    EXPECT_LE(halfBox.right, 5 + caption.width / 2);
    EXPECT_GE(halfBox.right, 5 + caption.width / 2 - 3);
    EXPECT_LE(halfBox.bottom, 5 + caption.height / 2);
    EXPECT_NEAR(halfBox.right - halfBox.left, (fullBox.right - fullBox.left) / 2.0, 3.0);
}

}  // namespace
}  // namespace zr
