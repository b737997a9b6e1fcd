#include "movie/frame_composer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "coloring/render_key_frame.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_writer.h"
#include "movie/render_host.h"
#include "settings/setting_types.h"

namespace zr {
namespace {

// A picture whose pixel (x, y) holds blue x % 256, green y % 256 and red 7.
FrameImage gradient(int width, int height) {
    FrameImage picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x % 256);
            p[1] = static_cast<std::uint8_t>(y % 256);
            p[2] = 7;
        }
    }
    return picture;
}

std::vector<int> widths(const std::vector<PlacementRect>& placements) {
    std::vector<int> result;
    for (const PlacementRect& place : placements) {
        result.push_back(place.width());
    }
    return result;
}

TEST(MergePlacements, EachKeyFrameFillsTheMiddleOfThePreviousOne) {
    const auto five = mergePlacements(1280, 720, 2.0, 5);
    EXPECT_EQ(widths(five), (std::vector<int>{1280, 640, 320, 160, 80}));
    EXPECT_EQ(five[1], (PlacementRect{320, 180, 960, 540}));
    EXPECT_EQ(five[4], (PlacementRect{600, 337, 680, 383}));

    // Sixteen key frames stop at the first placement narrower than 10 pixels.
    const auto all = mergePlacements(1280, 720, 2.0, 16);
    EXPECT_EQ(widths(all), (std::vector<int>{1280, 640, 320, 160, 80, 40, 20, 10}));

    EXPECT_EQ(widths(mergePlacements(1280, 720, 4.0, 3)), (std::vector<int>{1280, 320, 80}));
    EXPECT_EQ(mergePlacements(1280, 720, 2.0, 1).size(), 1u);
}

TEST(ViewFrame, ShowsTheMiddleRectangleScaledOntoTheFrame) {
    const FrameImage composed = gradient(200, 100);
    FrameImage frame(100, 50);
    // 2L = movie width: the middle half, one to one.
    viewFrame(composed, frame, 50, 25);
    EXPECT_EQ(frame.pixel(0, 0)[0], 50);
    EXPECT_EQ(frame.pixel(0, 0)[1], 25);
    EXPECT_EQ(frame.pixel(99, 49)[0], 149);
    EXPECT_EQ(frame.pixel(99, 49)[1], 74);

    // The whole picture, halved: pixel (x, y) averages the 2 x 2 block at (2x, 2y).
    viewFrame(composed, frame, 100, 50);
    EXPECT_EQ(frame.pixel(10, 20)[0], 21);  // mean of 20 and 21, rounded
    EXPECT_EQ(frame.pixel(10, 20)[1], 41);

    // A view wider than the composed picture (an odd width rounds L up) is cut to the picture.
    const FrameImage odd = gradient(201, 101);
    FrameImage small(10, 5);
    viewFrame(odd, small, 101, 51);
    viewFrame(odd, small, 5000, 5000);
    viewFrame(odd, small, 0, 0);
}

TEST(ScrollFrame, CopiesFromTheColumnAndStaysInsideThePicture) {
    const FrameImage composed = gradient(200, 50);
    FrameImage frame(100, 50);
    scrollFrame(composed, frame, 37.9);
    EXPECT_EQ(frame.pixel(0, 3)[0], 37);
    EXPECT_EQ(frame.pixel(99, 3)[0], 136);
    // Past the right edge only the columns that exist are copied.
    scrollFrame(composed, frame, 150.0);
    EXPECT_EQ(frame.pixel(49, 0)[0], 199);
    EXPECT_EQ(frame.pixel(50, 0)[0], 87);
}

TEST(SubpixelView, KnownZoomsOfARampGiveTheirExactSamples) {
    EXPECT_EQ(exactPlacement(1280, 720, 2.0, 1).left, 320.0);
    const ExactRect fourth = exactPlacement(1280, 720, 2.0, 4);  // whole pixels: (600, 337) 80 x 46
    EXPECT_EQ(fourth.left, 600.0);
    EXPECT_EQ(fourth.top, 337.5);
    EXPECT_EQ(fourth.width, 80.0);
    EXPECT_EQ(fourth.height, 45.0);

    const FrameImage composed = gradient(200, 100);
    const FrameImage alone = gradient(100, 50);  // a key frame alone, at its own size
    struct Case {
        const char* what;
        const FrameImage* picture;
        double progress;
        std::vector<int> blue;  // of row 0, columns 0 to 3
        int green;              // of pixel (0, 0)
    };
    const Case cases[] = {
        {"the middle half, one to one", &composed, 0.5, {50, 51, 52, 53}, 25},
        // The view [25, 175) x [12.5, 87.5) shrinks by 1.5: [25, 26.5) holds all of 25 and half
        // of 26; [12.5, 14) half of 12 and all of 13.
        {"shrinking by 1.5", &composed, 0.75, {25, 27, 28, 30}, 13},
        {"a key frame alone, whole", &alone, 1.0, {0, 1, 2, 3}, 0},
        // The middle half of the key frame alone, magnified by 2: column j reads 24.75 + j / 2.
        {"a key frame alone, magnified", &alone, 0.5, {25, 25, 26, 26}, 12},
    };
    for (const Case& c : cases) {
        FrameImage frame(100, 50);
        viewFrameExact(*c.picture, 200, 100, c.progress, frame, ExactSampling{});
        std::vector<int> blue;
        for (int x = 0; x < 4; ++x)
            blue.push_back(frame.pixel(x, 0)[0]);
        EXPECT_EQ(blue, c.blue) << c.what;
        EXPECT_EQ(frame.pixel(0, 0)[1], c.green) << c.what;
    }

    // Scrolling by a fractional column reads between the columns; past the composed picture
    // the frame keeps what it held.
    FrameImage frame(100, 50);
    scrollFrameExact(composed, frame, 30.2, ExactSampling{});
    EXPECT_EQ(frame.pixel(0, 0)[0], 30);
    EXPECT_EQ(frame.pixel(10, 7)[0], 40);
    EXPECT_EQ(frame.pixel(10, 7)[1], 7);
    FrameImage end(100, 50);
    scrollFrameExact(composed, end, 150.4, ExactSampling{});
    EXPECT_EQ(end.pixel(0, 0)[0], 150);
    EXPECT_EQ(end.pixel(50, 0)[0], 0);
}

TEST(FinishFrame, RotationGivesTheMiddleHalfAndAspect43TheMiddlePart) {
    const FrameImage frame = gradient(160, 90);
    FinishOptions rotation;
    rotation.rotationActive = true;
    rotation.rotation = 0.0;
    const OptionalImage half = finishFrame(frame, rotation, false);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->width(), 80);
    EXPECT_EQ(half->height(), 45);
    // Angle 0 copies without resampling.
    for (int y = 0; y < 45; y += 11) {
        for (int x = 0; x < 80; x += 13) {
            EXPECT_EQ(half->pixel(x, y)[0], x + 40);
            EXPECT_EQ(half->pixel(x, y)[1], y + 22);
        }
    }
    rotation.rotation = 30.0;
    const OptionalImage turned = finishFrame(frame, rotation, true);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->width(), 80);
    EXPECT_EQ(turned->height(), 45);

    FinishOptions aspect;
    aspect.aspect43 = true;
    EXPECT_FALSE(finishFrame(frame, aspect, false));  // the preview shows the whole frame
    const OptionalImage part = finishFrame(frame, aspect, true);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->width(), 120);
    EXPECT_EQ(part->height(), 90);
    EXPECT_EQ(part->pixel(0, 5)[0], 20);

    // A frame already narrower than 4:3 is written whole rather than read past its edges.
    EXPECT_FALSE(finishFrame(gradient(100, 90), aspect, true));
    EXPECT_FALSE(finishFrame(frame, FinishOptions{}, true));
}

// Three flat key frames of 80 x 45 (widest first in the list), each of one colour of its own.
class ComposeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  (std::string("zr_compose_") +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
        for (int i = 0; i < 3; ++i) {
            KeyFrameFileData data = KeyFrameFileData::uniform(80, 45, 100 + 150 * i);
            data.keyColors = {Bgr{0, 0, 0}, Bgr{0, 0, 255}, Bgr{0, 255, 0}, Bgr{255, 0, 0}};
            paths_.push_back(
                (folder_ / std::string("k").append(std::to_string(3 - i)).append(".zmb")).string());
            ASSERT_TRUE(writeKeyFrameFile(paths_.back(), data, nullptr));
        }
        // The widest key frame gives the colours, as at the start of a run.
        ColorState color;
        takeKeyFrameHeader(*cache_.load(paths_[0]), color);
        request_.plan = makeColoringPlan(ColoringSpec{}, TextureSpec{}, color, nullptr, 1.0, 1.0);
        for (const std::string& path : paths_) {
            const OptionalImage picture = renderKeyFrame(cache_, path, request_.plan);
            ASSERT_TRUE(picture);
            colors_.push_back(colorAt(*picture, 0, 0));
        }
        ASSERT_NE(colors_[0], colors_[1]);
        ASSERT_NE(colors_[1], colors_[2]);
        request_.movieWidth = 80;
        request_.movieHeight = 45;
        request_.mergeCount = 3;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    static int colorAt(const FrameImage& picture, int x, int y) {
        const std::uint8_t* p = picture.pixel(x, y);
        return p[0] | p[1] << 8 | p[2] << 16;
    }
    OptionalImage compose() { return composeKeyFrames(cache_, nullptr, paths_, request_); }

    std::filesystem::path folder_;
    std::vector<std::string> paths_;
    std::vector<int> colors_;
    ComposeRequest request_;
    KeyFrameCache cache_;
};

TEST_F(ComposeTest, DeeperKeyFramesFillTheMiddleAndEllipsesClipThem) {
    OptionalImage composed = compose();
    ASSERT_TRUE(composed);
    ASSERT_EQ(composed->width(), 160);
    ASSERT_EQ(composed->height(), 90);
    EXPECT_EQ(colorAt(*composed, 0, 0), colors_[0]);
    EXPECT_EQ(colorAt(*composed, 41, 23), colors_[1]);  // key frame 1: (40, 22) to (120, 68)
    EXPECT_EQ(colorAt(*composed, 80, 45), colors_[2]);  // key frame 2: (60, 33) to (100, 57)

    // Clipped to circles, the corners of the deeper placements keep what lay under them.
    request_.ellipticRegion = true;
    composed = compose();
    ASSERT_TRUE(composed);
    EXPECT_EQ(colorAt(*composed, 41, 23), colors_[0]);
    EXPECT_EQ(colorAt(*composed, 80, 25), colors_[1]);  // inside the circle of key frame 1
    EXPECT_EQ(colorAt(*composed, 61, 34), colors_[1]);
    EXPECT_EQ(colorAt(*composed, 80, 45), colors_[2]);
    EXPECT_EQ(colorAt(*composed, 0, 0), colors_[0]);  // the outermost is never clipped
}

TEST_F(ComposeTest, MergeLimitsAndLeftScrolling) {
    request_.testOnly = true;  // at most two key frames
    OptionalImage composed = compose();
    ASSERT_TRUE(composed);
    EXPECT_EQ(colorAt(*composed, 80, 45), colors_[1]);

    request_.testOnly = false;
    request_.frameByFrame = true;  // only key frame k
    composed = compose();
    ASSERT_TRUE(composed);
    EXPECT_EQ(colorAt(*composed, 80, 45), colors_[0]);

    request_.frameByFrame = false;
    request_.keyFrame = 2;  // the last key frame merges only itself
    composed = compose();
    ASSERT_TRUE(composed);
    EXPECT_EQ(colorAt(*composed, 0, 0), colors_[2]);

    // Left scrolling: key frame k unscaled at (movie width, 0), key frame k + 1 at (0, 0).
    request_.leftScrolling = true;
    request_.keyFrame = 0;
    composed = compose();
    ASSERT_TRUE(composed);
    EXPECT_EQ(colorAt(*composed, 80, 0), colors_[0]);
    EXPECT_EQ(colorAt(*composed, 79, 44), colors_[1]);

    // A key frame without a picture leaves the composition without one.
    request_.leftScrolling = false;
    paths_[0] = (folder_ / "missing.zmb").string();
    EXPECT_FALSE(compose());
}

TEST_F(ComposeTest, SubpixelPlacesDeeperKeyFramesAtTheirExactPlaces) {
    request_.subpixel = true;
    OptionalImage composed = compose();
    ASSERT_TRUE(composed);
    ASSERT_EQ(composed->width(), 160);
    EXPECT_EQ(colorAt(*composed, 0, 0), colors_[0]);
    // Key frame 1 covers [40, 120) x [22.5, 67.5): row 22 holds half of it.
    EXPECT_EQ(colorAt(*composed, 41, 23), colors_[1]);
    EXPECT_NE(colorAt(*composed, 41, 22), colors_[0]);
    EXPECT_NE(colorAt(*composed, 41, 22), colors_[1]);
    EXPECT_EQ(colorAt(*composed, 41, 21), colors_[0]);
    EXPECT_EQ(colorAt(*composed, 80, 45), colors_[2]);  // key frame 2: [60, 100) x [33.75, 56.25)

    // Key frame k alone is its own picture, which the view reads at its own size.
    request_.frameByFrame = true;
    composed = compose();
    ASSERT_TRUE(composed);
    EXPECT_EQ(composed->width(), 80);
    EXPECT_EQ(colorAt(*composed, 40, 22), colors_[0]);
}

TEST_F(ComposeTest, SubpixelLayersShowEachKeyFrameAtItsExactPlaceInTheView) {
    request_.subpixel = true;
    std::optional<LayeredComposition> layers =
        composeKeyFrameLayers(cache_, nullptr, paths_, request_);
    ASSERT_TRUE(layers);
    ASSERT_EQ(layers->layers.size(), 3u);
    EXPECT_EQ(layers->width, 160);
    EXPECT_EQ(layers->layers[2].place.top, 33.75);

    // The whole composition halved: key frame 1 covers [20, 60) x [11.25, 33.75) of the frame,
    // key frame 2 [30, 50) x [16.875, 28.125).
    FrameImage frame(80, 45);
    drawLayeredView(*layers, 160, 90, 1.0, frame);
    EXPECT_EQ(colorAt(frame, 0, 0), colors_[0]);
    EXPECT_EQ(colorAt(frame, 79, 44), colors_[0]);
    EXPECT_EQ(colorAt(frame, 21, 12), colors_[1]);
    EXPECT_NE(colorAt(frame, 21, 11), colors_[0]);  // a quarter of key frame 1
    EXPECT_NE(colorAt(frame, 21, 11), colors_[1]);
    EXPECT_EQ(colorAt(frame, 40, 22), colors_[2]);
    // The middle half: key frame 1, pixel on pixel.
    drawLayeredView(*layers, 160, 90, 0.5, frame);
    EXPECT_EQ(colorAt(frame, 0, 0), colors_[1]);
    EXPECT_EQ(colorAt(frame, 79, 44), colors_[1]);
    EXPECT_EQ(colorAt(frame, 40, 22), colors_[2]);

    // Clipped to a circle, the corner of key frame 1 shows key frame 0.
    request_.ellipticRegion = true;
    layers = composeKeyFrameLayers(cache_, nullptr, paths_, request_);
    ASSERT_TRUE(layers);
    drawLayeredView(*layers, 160, 90, 1.0, frame);
    EXPECT_EQ(colorAt(frame, 21, 12), colors_[0]);
    EXPECT_EQ(colorAt(frame, 40, 12), colors_[1]);
    EXPECT_EQ(colorAt(frame, 40, 22), colors_[2]);

    // Merging stops at a key frame without a picture; without key frame k there is none.
    request_.ellipticRegion = false;
    paths_[1] = (folder_ / "missing.zmb").string();
    layers = composeKeyFrameLayers(cache_, nullptr, paths_, request_);
    ASSERT_TRUE(layers);
    EXPECT_EQ(layers->layers.size(), 1u);
    paths_[0] = paths_[1];
    EXPECT_FALSE(composeKeyFrameLayers(cache_, nullptr, paths_, request_));
}

// A picture whose every pixel differs from its neighbours.
FrameImage texture(int width, int height, int seed) {
    FrameImage picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>((x * 37 + y * 91 + c * 53 + seed * 17) % 251);
        }
    }
    return picture;
}

// A key frame is not drawn where the next one covers the frame pixels whole; the frame is the
// same as when every key frame is drawn whole, one over the other. A ramp alone gives the
// samples at the middle of each frame pixel.
TEST(LayeredView, SkipsWhatDeeperKeyFramesCoverAndSamplesExactly) {
    LayeredComposition composition;
    composition.width = 160;
    composition.height = 90;
    for (int i = 0; i < 4; ++i) {
        composition.layers.push_back(
            ViewLayer{texture(80, 45, i), exactPlacement(160, 90, 2.0, i), false});
    }
    for (const double progress : {1.0, 0.83, 0.61, 0.5}) {
        FrameImage drawn(80, 45);
        drawLayeredView(composition, 160, 90, progress, drawn);
        FrameImage expected(80, 45);
        const double scale = 80.0 / (160.0 * progress);
        const double viewLeft = 80.0 * (1.0 - progress);
        const double viewTop = 45.0 * (1.0 - progress);
        for (const ViewLayer& layer : composition.layers) {
            resampleLinearMean(
                layer.picture, {0.0, 0.0, 80.0, 45.0}, expected,
                {(layer.place.left - viewLeft) * scale, (layer.place.top - viewTop) * scale,
                 layer.place.width * scale, layer.place.height * scale},
                ExactSampling{});
        }
        for (int y = 0; y < 45; ++y) {
            ASSERT_TRUE(std::equal(drawn.row(y), drawn.row(y) + 80 * 3, expected.row(y)))
                << progress << ' ' << y;
        }
    }

    // A ramp key frame alone over a composed picture of 200 x 100, magnified by 4/3: frame
    // column x reads the key frame around 12.875 + 0.75 x, where the ramp holds 12.375 + 0.75 x.
    LayeredComposition alone;
    alone.width = 200;
    alone.height = 100;
    alone.layers.push_back(ViewLayer{gradient(100, 50), ExactRect{0.0, 0.0, 200.0, 100.0}, false});
    FrameImage frame(100, 50);
    drawLayeredView(alone, 200, 100, 0.75, frame);
    std::vector<int> blue;
    for (int x = 0; x < 4; ++x)
        blue.push_back(frame.pixel(x, 0)[0]);
    EXPECT_EQ(blue, (std::vector<int>{12, 13, 14, 15}));
    EXPECT_EQ(frame.pixel(0, 0)[1], 6);  // 6.125
}

// Composing in parts: every pixel of a part is the one the whole composition has, and nothing
// outside the part is touched, with key frames whose every pixel differs.
TEST(PartialComposition, DrawsEachPartAsTheWholeCompositionHasIt) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "zr_compose_in_parts";
    std::filesystem::create_directories(folder);
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        KeyFrameFileData data = KeyFrameFileData::uniform(96, 54);
        for (int y = 0; y < data.height; ++y) {
            for (int x = 0; x < data.width; ++x) {
                data.setPixel(x, y, 10 + (x * 7 + y * 13 + i * 31) % 300,
                              static_cast<float>((x + y) % 10) / 10.0f);
            }
        }
        data.keyColors = {Bgr{0, 0, 0}, Bgr{0, 0, 255}, Bgr{0, 255, 0}, Bgr{255, 0, 0}};
        paths.push_back((folder / ("k" + std::to_string(4 - i) + ".zmb")).string());
        ASSERT_TRUE(writeKeyFrameFile(paths.back(), data, nullptr));
    }
    KeyFrameCache cache;
    ColorState color;
    takeKeyFrameHeader(*cache.load(paths[0]), color);
    color.startCycle = 17.25;
    ComposeRequest request;
    request.plan = makeColoringPlan(ColoringSpec{}, TextureSpec{}, color, nullptr, 1.0, 1.0);
    request.movieWidth = 80;
    request.movieHeight = 45;
    request.mergeCount = 4;

    struct Case {
        const char* what;
        bool lastMissing;
        PixelRect part;
    };
    const Case cases[] = {
        {"the whole picture", false, {0, 0, 160, 90}},
        {"a view into the middle", false, {23, 13, 114, 64}},
        {"across every placement's edge", false, {41, 20, 60, 40}},
        {"inside the deepest placement", false, {75, 40, 9, 9}},
        {"reaching out of the picture", false, {-20, -5, 60, 200}},
        {"the deepest key frame missing", true, {23, 13, 114, 64}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> used = paths;
        if (c.lastMissing) {
            used[3] = (folder / "missing.zmb").string();
        }
        const OptionalImage whole = composeKeyFrames(cache, nullptr, used, request);
        ASSERT_TRUE(whole);
        PartialComposition parts;
        ASSERT_TRUE(parts.prepare(cache, nullptr, used, request));
        ASSERT_EQ(parts.width(), whole->width());
        FrameImage drawn(parts.width(), parts.height());
        std::memset(drawn.data(), 0x5a, drawn.sizeBytes());
        parts.draw(drawn, c.part);
        int wrong = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                const bool inside = x >= c.part.left && x < c.part.left + c.part.width &&
                                    y >= c.part.top && y < c.part.top + c.part.height;
                const std::uint8_t* want = inside ? whole->pixel(x, y) : nullptr;
                const std::uint8_t* got = drawn.pixel(x, y);
                for (int b = 0; b < 3; ++b) {
                    wrong += got[b] != (want != nullptr ? want[b] : 0x5a) ? 1 : 0;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    // What cannot be composed in parts, or has no first key frame, is refused.
    PartialComposition parts;
    request.ellipticRegion = true;
    EXPECT_FALSE(parts.prepare(cache, nullptr, paths, request));
    request.ellipticRegion = false;
    std::vector<std::string> noFirst = paths;
    noFirst[0] = (folder / "missing.zmb").string();
    EXPECT_FALSE(parts.prepare(cache, nullptr, noFirst, request));

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace zr
