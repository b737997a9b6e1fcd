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
        testing::plainColoringSettings();
        settings().texture = 1;
        settings().textureDepth = 64;  // a margin of one pixel
        settings().textureStrength = 100;
        settings().textureMerge = 1.0;
        discardTexture();
        resetTexturePosition();
    }
    void TearDown() override {
        discardTexture();
        fs::remove_all(folder_);
    }
    static MovieSettings& settings() { return movieSettings(); }

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
};

// The texture of pixel (x, y) of a flat 8 x 8 key frame coloured over a 9 x 9 gradient.
Bgr texturedFlat(int x, int y, double textureScale = 1.0) {
    const KeyFrame flat = makeKeyFrame(8, 8, std::vector<std::int32_t>(64, 5));
    return pixelAt(colorWithSettings(flat, 0.0, 1.0, textureScale), x, y);
}

TEST_F(Texture, IsPreparedOnceAtTheKeyFrameSizePlusTheMargin) {
    settings().textureFile = gradient("g.png", 9, 9);
    const auto texture = prepareTexture(8, 8);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->width(), 9);
    EXPECT_EQ(texture->height(), 9);
    EXPECT_EQ(prepareTexture(30, 30), texture);  // held until the run ends
    discardTexture();
    EXPECT_FALSE(textureHeld());
    settings().textureDepth = 200;  // margin 3.125
    EXPECT_EQ(prepareTexture(8, 5)->width(), 11);
    EXPECT_EQ(prepareTexture(8, 5)->height(), 8);
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

TEST_F(Texture, MergeWeighsTheTextureAgainstTheColour) {
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
    EXPECT_EQ(pixelAt(colorWithSettings(flat, 0.0, 1.0, 1.0), 3, 5), (Bgr{142, 152, 166}));
}

TEST_F(Texture, DisplacedSamplesRepeatTheBorder) {
    settings().textureFile = gradient("g.png", 9, 9);
    // The key frame is one row, so the texture keeps its columns: blue = 10 * column.
    // A steep step down from column 0 to column 1 (d1 = 45, power 64) pushes the sample far
    // right; a gentle rise from column 1 to 2 (d1 = -0.5) pushes it far left.
    const KeyFrame stepDown =
        makeKeyFrame(8, 1, {50, 5, 5, 5, 5, 5, 5, 5}, {0, 0, -0.5f, -0.5f, 0, 0, 0, 0});
    const FrameImage image = colorWithSettings(stepDown, 0.0, 1.0, 1.0);
    EXPECT_EQ(pixelAt(image, 1, 0).blue, 80);  // column 8
    EXPECT_EQ(pixelAt(image, 2, 0).blue, 0);   // column 0
    // A texture scale of 0 sends every displaced sample to a border too, without failing.
    const FrameImage unscaled = colorWithSettings(stepDown, 0.0, 1.0, 0.0);
    EXPECT_EQ(unscaled.width(), 8);
}

TEST_F(Texture, AFileThatCannotBeLoadedSwitchesTheStageOff) {
    settings().textureFile = (folder_ / "missing.jpg").string();
    const KeyFrame frame = makeKeyFrame(2, 2, {1, 2, 3, 4});
    const FrameImage withMissing = colorWithSettings(frame, 0.0, 1.0, 1.0);
    EXPECT_EQ(prepareTexture(2, 2), nullptr);
    settings().texture = 0;
    EXPECT_EQ(withMissing, colorWithSettings(frame, 0.0, 1.0, 1.0));
    // Another file is tried.
    settings().texture = 1;
    settings().textureFile = uniform("u.png", 9);
    EXPECT_NE(prepareTexture(2, 2), nullptr);
}

TEST_F(Texture, MultiFadesThroughTheFolderAndWrapsToTheFirstPicture) {
    const std::string files[] = {uniform("a.png", 0), uniform("b.png", 100), uniform("c.png", 200)};
    for (const std::string& file : files) {
        settings().textureFiles.appendCell(settings().textureFiles.addRow() - 1, file);
    }
    settings().textureFile = files[0];
    settings().textureDepth = 0;
    settings().fps = 3;
    auto value = [] { return prepareTexture(4, 4)->pixel(1, 1)[0]; };
    ASSERT_EQ(value(), 0);

    textureKeyFrameStep(2, 9);  // each picture covers 3 key frames
    EXPECT_EQ(textureFadeFrames(), 0);
    textureKeyFrameStep(3, 9);
    EXPECT_EQ(textureFadeFrames(), 2);
    textureKeyFrameStep(4, 9);  // a fade under way is not restarted
    textureFadeStep();          // 33 % of the current picture: (33 * 0 + 67 * 100) / 100
    EXPECT_EQ(value(), 67);
    EXPECT_EQ(textureIndex(), 0);
    textureFadeStep();
    EXPECT_EQ(value(), 100);
    EXPECT_EQ(textureIndex(), 1);
    EXPECT_EQ(settings().textureFile, files[1]);
    textureFadeStep();  // no fade: nothing changes
    EXPECT_EQ(value(), 100);

    textureKeyFrameStep(6, 9);
    textureFadeStep();
    textureFadeStep();
    EXPECT_EQ(textureIndex(), 2);
    textureKeyFrameStep(9, 9);
    textureFadeStep();
    textureFadeStep();
    EXPECT_EQ(textureIndex(), 0);
    EXPECT_EQ(value(), 0);
}

TEST_F(Texture, RotationStepTurnsTheTextureBackAgainstTheRotation) {
    settings().textureFile = gradient("g.png", 9, 9);
    settings().textureDepth = 0;
    const auto before = prepareTexture(9, 9);
    settings().startRotation = 0.0;
    textureRotationStep();
    EXPECT_EQ(*prepareTexture(9, 9), *before);  // no turn: the same picture
    settings().startRotation = 90.0;
    textureRotationStep();
    const auto turned = prepareTexture(9, 9);
    EXPECT_NE(*turned, *before);
    EXPECT_EQ(turned->width(), 9);
}

}  // namespace
}  // namespace zr
