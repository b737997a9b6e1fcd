#include "coloring/texture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "coloring/color_key_frame.h"
#include "coloring/coloring_fixtures.h"
#include "keyframes/image_file.h"

namespace zr {
namespace {

using testing::colorWithSettings;
using testing::makeKeyFrame;
using testing::pixelAt;

namespace fs = std::filesystem;

// Pictures written to a folder of their own for each test.
class Texture : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("zr_texture_" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(folder_);
        settings_.texture = 1;
        settings_.textureDepth = 64;  // a margin of one pixel
        settings_.textureStrength = 100;
        settings_.textureMerge = 1.0;
    }
    void TearDown() override { fs::remove_all(folder_); }
    testing::ColoringSettings& settings() { return settings_; }

    // The texture a run prepares for key frames of width x height, kept in `position`.
    std::shared_ptr<const FrameImage> prepare(int width, int height) {
        prepareTexture(testing::textureSpecOf(settings_), fps_, false, position_, store_, width,
                       height, settings_.startRotation);
        return heldTexture(position_, store_);
    }
    // The texture of pixel (x, y) of a flat 8 x 8 key frame coloured over a 9 x 9 gradient.
    Bgr texturedFlat(int x, int y, double textureScale = 1.0) {
        const KeyFrame flat = makeKeyFrame(8, 8, std::vector<std::int32_t>(64, 5));
        return pixelAt(colorWithSettings(settings_, flat, 0.0, 1.0, textureScale), x, y);
    }

    // A width x height picture whose pixel (x, y) is (blue 10x, green 10y, red `red`).
    std::string gradient(const std::string& name, int width, int height, int red = 77) {
        FrameImage image(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = image.pixel(x, y);
                p[0] = static_cast<std::uint8_t>(10 * x);
                p[1] = static_cast<std::uint8_t>(10 * y);
                p[2] = static_cast<std::uint8_t>(red);
            }
        }
        return save(name, image);
    }
    std::string uniform(const std::string& name, std::uint8_t value) {
        FrameImage image(4, 4);
        std::fill(image.data(), image.data() + image.sizeBytes(), value);
        return save(name, image);
    }
    std::string save(const std::string& name, const FrameImage& image) {
        const std::string path = (folder_ / name).string();
        EXPECT_TRUE(savePng(image, path, nullptr));
        return path;
    }

    fs::path folder_;
    testing::ColoringSettings settings_ = testing::plainColoringSettings();
    TextureStore store_;
    TexturePosition position_;
    int fps_ = 30;
};

TEST_F(Texture, IsPreparedOnceAtTheKeyFrameSizePlusTheMargin) {
    settings().textureFile = gradient("g.png", 9, 9);
    position_.file = settings().textureFile;
    const auto texture = prepare(8, 8);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->width(), 9);
    EXPECT_EQ(texture->height(), 9);
    EXPECT_EQ(prepare(30, 30), texture);  // held until the run ends
    position_ = startingTexture(testing::textureSpecOf(settings()));
    EXPECT_FALSE(position_.held);
    settings().textureDepth = 200;  // margin 3.125
    EXPECT_EQ(prepare(8, 5)->width(), 11);
    EXPECT_EQ(prepare(8, 5)->height(), 8);
}

TEST_F(Texture, FlatAreasSampleTheTextureAtThePixel) {
    settings().textureFile = gradient("g.png", 9, 9);
    // Without displacement pixel (x, y) shows texture pixel (x, y).
    settings().textureStrength = 0;
    EXPECT_EQ(texturedFlat(3, 5), (Bgr{30, 50, 77}));
    EXPECT_EQ(texturedFlat(0, 0), (Bgr{0, 0, 77}));
    // At full strength a flat area is displaced by a hair: pi to nine digits makes atan(1)
    // exceed the quarter turn by 9e-10, and truncation turns that into one pixel up-left.
    settings().textureStrength = 100;
    EXPECT_EQ(texturedFlat(3, 5), (Bgr{20, 40, 77}));
    EXPECT_EQ(texturedFlat(0, 0), (Bgr{0, 0, 77}));
    // Texture scale 2 zooms about the texture's centre (4, 4): column 0 samples column 2.
    settings().textureStrength = 0;
    EXPECT_EQ(texturedFlat(0, 8 - 1, 2.0), (Bgr{20, 50, 77}));
}

TEST_F(Texture, MergeWeighsTheTextureAgainstTheColor) {
    settings().textureFile = gradient("g.png", 9, 9);
    settings().textureStrength = 0;
    settings().palette.fill(Bgr{200, 100, 0});
    settings().textureMerge = 0.0;
    EXPECT_EQ(texturedFlat(3, 5), (Bgr{200, 100, 0}));
    settings().textureMerge = 0.5;
    EXPECT_EQ(texturedFlat(3, 5), (Bgr{115, 75, 38}));
    // The long waves come after the texture: half white over the textured colour.
    settings().textureMerge = 1.0;
    settings().longWaves[0] = LongWave{2, 0, 0, 0x00FFFFFF, 50, 0};
    settings().longWaves[1].endFlag = 1;
    const KeyFrame flat = makeKeyFrame(8, 8, std::vector<std::int32_t>(64, 5), {}, -1);
    // s = 6 is the top of the bump of period 2 over [4, 8).
    EXPECT_EQ(pixelAt(colorWithSettings(settings(), flat, 0.0, 1.0, 1.0), 3, 5),
              (Bgr{142, 152, 166}));
}

TEST_F(Texture, DisplacedSamplesRepeatTheBorder) {
    settings().textureFile = gradient("g.png", 9, 9);
    // The key frame is one row, so the texture keeps its columns: blue = 10 * column.
    // A steep step down from column 0 to column 1 (d1 = 45, power 64) pushes the sample far
    // right; a gentle rise from column 1 to 2 (d1 = -0.5) pushes it far left.
    const KeyFrame stepDown =
        makeKeyFrame(8, 1, {50, 5, 5, 5, 5, 5, 5, 5}, {0, 0, -0.5f, -0.5f, 0, 0, 0, 0});
    const FrameImage image = colorWithSettings(settings(), stepDown, 0.0, 1.0, 1.0);
    EXPECT_EQ(pixelAt(image, 1, 0).blue, 80);  // column 8
    EXPECT_EQ(pixelAt(image, 2, 0).blue, 0);   // column 0
    // A texture scale of 0 sends every displaced sample to a border too, without failing.
    const FrameImage unscaled = colorWithSettings(settings(), stepDown, 0.0, 1.0, 0.0);
    EXPECT_EQ(unscaled.width(), 8);
}

TEST_F(Texture, AFileThatCannotBeLoadedSwitchesTheStageOff) {
    settings().textureFile = (folder_ / "missing.jpg").string();
    position_.file = settings().textureFile;
    const KeyFrame frame = makeKeyFrame(2, 2, {1, 2, 3, 4});
    const FrameImage withMissing = colorWithSettings(settings(), frame, 0.0, 1.0, 1.0);
    EXPECT_EQ(prepare(2, 2), nullptr);
    EXPECT_EQ(position_.failedFile, settings().textureFile);
    settings().texture = 0;
    EXPECT_EQ(withMissing, colorWithSettings(settings(), frame, 0.0, 1.0, 1.0));
    // Not tried again while it is the current picture; another file is.
    std::filesystem::copy_file(uniform("u.png", 9), settings().textureFile);
    EXPECT_EQ(prepare(2, 2), nullptr);
    position_.file = uniform("v.png", 9);
    EXPECT_NE(prepare(2, 2), nullptr);
}

TEST_F(Texture, MultiFadesThroughTheFolderAndWrapsToTheFirstPicture) {
    TextureSpec spec = testing::textureSpecOf(settings());
    spec.textureFiles = {uniform("a.png", 0), uniform("b.png", 100), uniform("c.png", 200)};
    spec.textureFile = spec.textureFiles[0];
    spec.textureDepth = 0;
    const int fps = 3;
    position_ = startingTexture(spec);
    prepareTexture(spec, fps, false, position_, store_, 4, 4, 0.0);
    auto value = [&] { return heldTexture(position_, store_)->pixel(1, 1)[0]; };
    ASSERT_EQ(value(), 0);
    const auto keyFrameStep = [&](int k) { textureKeyFrameStep(spec, fps, position_, k, 9); };
    const auto fadeStep = [&] { textureFadeStep(spec, fps, position_, store_); };

    keyFrameStep(2);  // each picture covers 3 key frames
    EXPECT_EQ(position_.fade, 0);
    keyFrameStep(3);
    EXPECT_EQ(position_.fade, 2);
    keyFrameStep(4);  // a fade under way is not restarted
    fadeStep();       // 33 % of the current picture: (33 * 0 + 67 * 100) / 100
    EXPECT_EQ(value(), 67);
    EXPECT_EQ(position_.index, 0);
    fadeStep();
    EXPECT_EQ(value(), 100);
    EXPECT_EQ(position_.index, 1);
    EXPECT_EQ(position_.file, spec.textureFiles[1]);
    const TexturePosition before = position_;
    fadeStep();  // no fade: nothing changes
    EXPECT_EQ(position_, before);

    keyFrameStep(6);
    fadeStep();
    fadeStep();
    EXPECT_EQ(position_.index, 2);
    keyFrameStep(9);
    fadeStep();
    fadeStep();
    EXPECT_EQ(position_.index, 0);
    EXPECT_EQ(value(), 0);
}

TEST_F(Texture, RotationStepTurnsTheTextureBackAgainstTheRotation) {
    settings().textureFile = gradient("g.png", 9, 9);
    settings().textureDepth = 0;
    position_.file = settings().textureFile;
    const auto before = prepare(9, 9);
    const TextureSpec spec = testing::textureSpecOf(settings());
    textureRotationStep(spec, fps_, position_, store_, 0.0);
    EXPECT_EQ(*heldTexture(position_, store_), *before);  // no turn: the same picture
    textureRotationStep(spec, fps_, position_, store_, 90.0);
    const auto turned = heldTexture(position_, store_);
    EXPECT_NE(*turned, *before);
    EXPECT_EQ(turned->width(), 9);
    // A store that never made this texture makes the same one from the position.
    TextureStore another;
    EXPECT_EQ(*heldTexture(position_, another), *turned);
}

}  // namespace
}  // namespace zr
