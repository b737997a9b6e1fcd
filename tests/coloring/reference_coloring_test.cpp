// The colouring against a slow, literal computation of its rules (reference_coloring.h), on
// many small random key frames and random settings, byte for byte.

#include "coloring/reference_coloring.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "coloring/color_key_frame.h"
#include "coloring/coloring_fixtures.h"
#include "coloring/palette.h"
#include "coloring/render_key_frame.h"
#include "coloring/texture.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_writer.h"

namespace zr {
namespace {

using testing::colorWithSettings;

namespace fs = std::filesystem;

using Random = std::mt19937;

int uniformInt(Random& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}
double uniformReal(Random& random, double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
}
bool chance(Random& random, double probability) {
    return std::bernoulli_distribution(probability)(random);
}
template <typename T, std::size_t N>
T pick(Random& random, const T (&choices)[N]) {
    return choices[uniformInt(random, 0, static_cast<int>(N) - 1)];
}

std::uint8_t randomByte(Random& random) {
    return static_cast<std::uint8_t>(uniformInt(random, 0, 255));
}
Bgr randomColor(Random& random) {
    return Bgr{randomByte(random), randomByte(random), randomByte(random)};
}

constexpr std::int32_t kInside = 5000;

// A key frame of 1 x 1 to 17 x 13 pixels: a ramp with noise (so neighbours differ a little,
// as in real key frames) or wholly random counts, fractions in [0, 1), and some pixels inside.
KeyFrame randomKeyFrame(Random& random) {
    KeyFrame frame;
    frame.path = "random.zmb";
    frame.width = uniformInt(random, 1, 17);
    frame.height = uniformInt(random, 1, 13);
    const int base = pick(random, {1, 3, 40, 300, 2500});
    const double slopeX = uniformReal(random, -3, 3);
    const double slopeY = uniformReal(random, -3, 3);
    const bool wild = chance(random, 0.3);
    const bool inside = chance(random, 0.5);
    const bool wholeFractions = chance(random, 0.15);
    frame.maxIteration = inside ? kInside : -1;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            int count =
                wild ? uniformInt(random, 1, 3000)
                     : base + static_cast<int>(slopeX * x + slopeY * y) + uniformInt(random, 0, 2);
            count = std::max(count, 1);
            if (inside && chance(random, 0.15)) {
                count = kInside;
            }
            frame.counts.push_back(count);
            frame.fractions.push_back(
                wholeFractions ? 0.0f : static_cast<float>(uniformReal(random, 0.0, 1.0)));
        }
    }
    return frame;
}

// The call's own values: cycle offset, slope scale and texture scale.
struct CallValues {
    double cycleOffset = 0;
    double slopeScale = 1;
    double textureScale = 1;
};

CallValues randomCall(Random& random) {
    CallValues call;
    call.cycleOffset = chance(random, 0.2) ? 0.0
                       : chance(random, 0.5)
                           ? uniformReal(random, -3000, 3000)
                           : static_cast<double>(uniformInt(random, -40, 40)) / 4.0;
    call.slopeScale = chance(random, 0.4) ? static_cast<double>(uniformInt(random, 0, 60))
                                          : uniformReal(random, 0.05, 40);
    call.textureScale = chance(random, 0.5) ? 1.0 : uniformReal(random, 1.0, 2.0);
    return call;
}

// Palette colouring settings: method, smooth colouring, fixed cycling, division, inside colour,
// a random palette and the Stretched range; every optional stage off.
void randomPaletteSettings(Random& random, testing::ColoringSettings& settings) {
    settings = testing::ColoringSettings{};
    settings.texture = 0;
    settings.slopes = 0;
    settings.waveColoring = 0;
    settings.colorMethod = chance(random, 0.05) ? 9 : uniformInt(random, 0, 5);
    settings.smoothColoring = chance(random, 0.6) ? 1 : 0;
    settings.fixedColorCycling = chance(random, 0.4) ? 1 : 0;
    settings.colorDivision = pick(random, {0.0, 1.0, 1.0, 0.37, 2.5, 7.0, 64.0, -3.0});
    settings.insideColor = static_cast<std::uint32_t>(uniformInt(random, 0, 0xFFFFFF));
    settings.stretchMin = uniformReal(random, 0, 400);
    settings.stretchMax = settings.stretchMin + uniformReal(random, 1, 3000);
    settings.startRotation = uniformReal(random, -360, 360);
    settings.slopeRatio = uniformReal(random, 0, 100);
    for (Bgr& entry : settings.palette) {
        entry = randomColor(random);
    }
}

// Up to a dozen waves of every type (more than eight W waves wrap their colours round), and
// now and then a table of 61 waves without an end slot.
void randomHsbWaves(Random& random, testing::ColoringSettings& settings) {
    const bool full = chance(random, 0.05);
    const int count = full ? kWaveSlots : uniformInt(random, 0, 12);
    const bool manyBands = chance(random, 0.3);
    for (int i = 0; i < count; ++i) {
        HsbWave& wave = settings.hsbWaves[i];
        wave.type = manyBands && chance(random, 0.7) ? 3 : uniformInt(random, 0, 3);
        wave.period =
            chance(random, 0.2) ? -uniformInt(random, 0, 100) : uniformInt(random, 1, 700);
        wave.phase = chance(random, 0.7) ? 0 : uniformInt(random, -500, 500);
        wave.endFlag = 0;
    }
    if (!full) {
        settings.hsbWaves[count].endFlag = 1;
    }
}

void randomLongWaves(Random& random, testing::ColoringSettings& settings) {
    const int count = uniformInt(random, 1, 4);
    for (int i = 0; i < count; ++i) {
        LongWave& wave = settings.longWaves[i];
        wave.period = chance(random, 0.1) ? -uniformInt(random, 0, 5) : uniformInt(random, 1, 900);
        wave.color = static_cast<std::uint32_t>(uniformInt(random, 0, 0xFFFFFF));
        wave.percent = uniformInt(random, 0, 100);
        wave.endFlag = 0;
    }
    settings.longWaves[count].endFlag = 1;
}

std::string describe(const testing::ColoringSettings& settings, const KeyFrame& frame,
                     const CallValues& call) {
    std::ostringstream text;
    text.precision(17);
    text << frame.width << "x" << frame.height << " method " << settings.colorMethod << " smooth "
         << settings.smoothColoring << " fixed " << settings.fixedColorCycling << " division "
         << settings.colorDivision << " waves " << settings.waveColoring << " slopes "
         << settings.slopes << " div slopes " << settings.divideSlopes << " texture "
         << settings.texture << " offset " << call.cycleOffset << " slope scale " << call.slopeScale
         << " texture scale " << call.textureScale << " rotation " << settings.startRotation
         << " slope ratio " << settings.slopeRatio;
    return text.str();
}

// The first few pixels at which two pictures differ, or "" when they are equal.
std::string differences(const FrameImage& actual, const FrameImage& expected,
                        const KeyFrame& frame) {
    if (actual.width() != expected.width() || actual.height() != expected.height()) {
        return "size " + std::to_string(actual.width()) + "x" + std::to_string(actual.height());
    }
    std::ostringstream text;
    text.precision(17);
    int shown = 0;
    for (int y = 0; y < actual.height() && shown < 4; ++y) {
        for (int x = 0; x < actual.width() && shown < 4; ++x) {
            const std::uint8_t* a = actual.pixel(x, y);
            const std::uint8_t* e = expected.pixel(x, y);
            if (a[0] != e[0] || a[1] != e[1] || a[2] != e[2]) {
                text << " (" << x << "," << y << ") n " << frame.counts[y * frame.width + x]
                     << " f " << frame.fractions[y * frame.width + x] << ": got " << int{a[0]}
                     << "," << int{a[1]} << "," << int{a[2]} << " want " << int{e[0]} << ","
                     << int{e[1]} << "," << int{e[2]};
                ++shown;
            }
        }
    }
    return text.str();
}

// Colours `cases` random key frames under settings from `configure` and compares each with the
// reference; returns how many differed.
template <typename Configure>
int compareRandomCases(unsigned seed, int cases, Configure configure,
                       const FrameImage* texture = nullptr) {
    Random random(seed);
    int failures = 0;
    for (int i = 0; i < cases; ++i) {
        testing::ColoringSettings settings;
        configure(random, settings);
        const KeyFrame frame = randomKeyFrame(random);
        const CallValues call = randomCall(random);
        const FrameImage actual = colorWithSettings(settings, frame, call.cycleOffset,
                                                    call.slopeScale, call.textureScale);
        const FrameImage expected = reference::colorKeyFrame(
            settings, frame, call.cycleOffset, call.slopeScale, call.textureScale, texture);
        const std::string diff = differences(actual, expected, frame);
        if (!diff.empty()) {
            ++failures;
            ADD_FAILURE() << "case " << i << ": " << describe(settings, frame, call) << diff;
            if (failures >= 5) {
                break;
            }
        }
    }
    return failures;
}

TEST(ReferenceColoring, PaletteExpansionForEveryCountUpTo64AndSomeLarger) {
    Random random(11);
    KeyColors keyColors{};
    for (Bgr& key : keyColors) {
        key = randomColor(random);
    }
    for (int count : {1, 2, 3, 4, 5, 7, 8, 13, 31, 64, 100, 255, 256, 333, 640, 1000, 1023, 1024}) {
        const Palette palette = expandPalette(keyColors, count);
        const auto expected = reference::expandPalette(keyColors, count);
        for (int d = 0; d < kPaletteSize; ++d) {
            ASSERT_EQ(palette[d], expected[d]) << "count " << count << " entry " << d;
        }
    }
}

TEST(ReferenceColoring, MethodsDivisionCyclingAndInsideColor) {
    EXPECT_EQ(compareRandomCases(101, 600, randomPaletteSettings), 0);
}

TEST(ReferenceColoring, HsbAndRgbWaves) {
    EXPECT_EQ(compareRandomCases(202, 400,
                                 [](Random& random, testing::ColoringSettings& settings) {
                                     randomPaletteSettings(random, settings);
                                     settings.waveColoring = 1;
                                     randomHsbWaves(random, settings);
                                 }),
              0);
}

TEST(ReferenceColoring, LongWavesOverPaletteAndWaves) {
    EXPECT_EQ(compareRandomCases(303, 400,
                                 [](Random& random, testing::ColoringSettings& settings) {
                                     randomPaletteSettings(random, settings);
                                     settings.waveColoring = chance(random, 0.3) ? 1 : 0;
                                     randomHsbWaves(random, settings);
                                     randomLongWaves(random, settings);
                                 }),
              0);
}

TEST(ReferenceColoring, SlopesWithAnyMethodRotationAndDivision) {
    EXPECT_EQ(compareRandomCases(404, 500,
                                 [](Random& random, testing::ColoringSettings& settings) {
                                     randomPaletteSettings(random, settings);
                                     settings.slopes = chance(random, 0.8) ? 1 : 0;
                                     settings.divideSlopes = chance(random, 0.3) ? 1 : 0;
                                     if (chance(random, 0.2)) {
                                         settings.slopeRatio = pick(random, {0.0, 100.0});
                                     }
                                 }),
              0);
}

// Key frames with what no renderer writes but a file may hold: counts of 0, negative or at the
// ends of int32, fractions outside 0 .. 1 or not a number, and pixels inside.
KeyFrame extremeKeyFrame(Random& random) {
    KeyFrame frame = randomKeyFrame(random);
    const std::int32_t counts[] = {0, -1, -700, 2147483647, -2147483647 - 1, 1, 2, 1000000};
    const float fractions[] = {0.0f, 1.0f, 1.5f, -0.5f, 3.0f, 0.999999f, NAN, INFINITY};
    for (std::size_t i = 0; i < frame.counts.size(); ++i) {
        if (chance(random, 0.3)) {
            frame.counts[i] = pick(random, counts);
        }
        if (chance(random, 0.15)) {
            frame.fractions[i] = pick(random, fractions);
        }
    }
    if (chance(random, 0.3)) {
        frame.maxIteration = pick(random, counts);
    }
    return frame;
}

TEST(ReferenceColoring, ValuesNoRendererWritesStayDefined) {
    Random random(505);
    int failures = 0;
    for (int i = 0; i < 500 && failures < 5; ++i) {
        testing::ColoringSettings settings;
        randomPaletteSettings(random, settings);
        settings.waveColoring = chance(random, 0.3) ? 1 : 0;
        randomHsbWaves(random, settings);
        settings.hsbWaves[0].period = -uniformInt(random, 0, 300);  // levels up to 3
        settings.hsbWaves[0].type = uniformInt(random, 0, 2);
        if (settings.hsbWaves[0].endFlag == 1) {
            settings.hsbWaves[0].endFlag = 0;
            settings.hsbWaves[1].endFlag = 1;
        }
        if (chance(random, 0.5)) {
            randomLongWaves(random, settings);
            settings.longWaves[0].percent = uniformInt(random, -100, 250);
        }
        settings.slopes = chance(random, 0.5) ? 1 : 0;
        settings.slopeRatio = uniformReal(random, -100, 250);
        settings.colorDivision = pick(random, {1.0, 1e-9, -1e-7, 0.0, 1e300});
        if (chance(random, 0.3)) {
            settings.stretchMax = settings.stretchMin;
        }
        const KeyFrame frame = extremeKeyFrame(random);
        CallValues call = randomCall(random);
        if (chance(random, 0.2)) {
            call.cycleOffset = pick(random, {-1e12, 3e9, -2.5e9});
        }
        const FrameImage actual = colorWithSettings(settings, frame, call.cycleOffset,
                                                    call.slopeScale, call.textureScale);
        const FrameImage expected = reference::colorKeyFrame(settings, frame, call.cycleOffset,
                                                              call.slopeScale, call.textureScale);
        const std::string diff = differences(actual, expected, frame);
        if (!diff.empty()) {
            ++failures;
            ADD_FAILURE() << "case " << i << ": " << describe(settings, frame, call) << diff;
        }
    }
    EXPECT_EQ(failures, 0);
}

// Pictures written to a folder of their own for each test.
class ReferenceFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("zr_reference_" +
                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                   "_" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
    KeyFrameCache cache_;
};

TEST_F(ReferenceFiles, TextureDisplacedByTheSlopesAndZoomed) {
    Random random(606);
    int failures = 0;
    for (int i = 0; i < 150 && failures < 5; ++i) {
        testing::ColoringSettings settings;
        randomPaletteSettings(random, settings);
        settings.texture = 1;
        settings.waveColoring = chance(random, 0.2) ? 1 : 0;
        randomHsbWaves(random, settings);
        if (chance(random, 0.3)) {
            randomLongWaves(random, settings);
        }
        settings.slopes = chance(random, 0.3) ? 1 : 0;
        settings.textureDepth = pick(random, {-300.0, -64.0, 0.0, 10.0, 64.0, 100.0, 200.0, 333.0});
        settings.textureStrength = pick(random, {0, 1, 30, 100, 160});
        settings.textureMerge = pick(random, {0.0, 0.25, 0.5, 0.8, 1.0});
        const KeyFrame frame = randomKeyFrame(random);
        CallValues call = randomCall(random);
        if (chance(random, 0.2)) {
            call.textureScale = uniformReal(random, 0.3, 1.0);
        }

        // A texture at exactly the prepared size, so that preparing it only loads it.
        const double margin = settings.textureDepth / 64;
        FrameImage texture(std::max(1, static_cast<int>(frame.width + margin)),
                           std::max(1, static_cast<int>(frame.height + margin)));
        for (int y = 0; y < texture.height(); ++y) {
            for (int x = 0; x < texture.width(); ++x) {
                std::uint8_t* pixel = texture.pixel(x, y);
                pixel[0] = randomByte(random);
                pixel[1] = randomByte(random);
                pixel[2] = randomByte(random);
            }
        }
        settings.textureFile = path("texture_" + std::to_string(i) + ".png");
        ASSERT_TRUE(savePng(texture, settings.textureFile, nullptr));

        const FrameImage actual = colorWithSettings(settings, frame, call.cycleOffset,
                                                    call.slopeScale, call.textureScale);
        const FrameImage expected = reference::colorKeyFrame(
            settings, frame, call.cycleOffset, call.slopeScale, call.textureScale, &texture);
        const std::string diff = differences(actual, expected, frame);
        if (!diff.empty()) {
            ++failures;
            ADD_FAILURE() << "case " << i << ": " << describe(settings, frame, call) << " depth "
                          << settings.textureDepth << " strength " << settings.textureStrength
                          << " merge " << settings.textureMerge << diff;
        }
    }
    EXPECT_EQ(failures, 0);
}

// Through the key frame file: the first key frame supplies the key colours (expanded into the
// palette), the colour division and the inside value; later files of the run keep them.
TEST_F(ReferenceFiles, KeyFrameFilesReadAndColored) {
    Random random(707);
    testing::ColoringSettings settings;
    randomPaletteSettings(random, settings);
    settings.colorMethod = kStandard;
    settings.slopes = 1;
    randomLongWaves(random, settings);

    std::array<Bgr, kPaletteSize> keyColors{};
    KeyFrameFileData first = KeyFrameFileData::uniform(13, 7);
    first.keyColors.clear();
    for (int i = 0; i < 37; ++i) {
        keyColors[i] = randomColor(random);
        first.keyColors.push_back(keyColors[i]);
    }
    first.iterationDivision = 3;
    first.maxIteration = kInside;
    const KeyFrame frames[] = {randomKeyFrame(random), randomKeyFrame(random)};
    KeyFrameFileData second = first;
    second.keyColors = {Bgr{1, 2, 3}};  // skipped: the colours came from the first file
    second.iterationDivision = 50;
    second.writeMaxIteration = false;  // inherits the inside value of the first
    KeyFrameFileData* data[] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        data[i]->width = frames[i].width;
        data[i]->height = frames[i].height;
        data[i]->counts = frames[i].counts;
        data[i]->fractions = frames[i].fractions;
        ASSERT_TRUE(writeKeyFrameFile(path("k" + std::to_string(i) + ".zmb"), *data[i], nullptr));
    }

    const auto palette = reference::expandPalette(keyColors, 37);
    ColorState color;  // as a run starts: the colours and division from the first key frame
    color.startRotation = settings.startRotation;
    color.stretchMin = settings.stretchMin;
    color.stretchMax = settings.stretchMax;
    const KeyFrame* firstRead = cache_.load(path("k0.zmb"));
    ASSERT_NE(firstRead, nullptr);
    takeKeyFrameHeader(*firstRead, color);
    EXPECT_EQ(color.colorDivision, 3.0);
    EXPECT_EQ(color.keyColorCount, 37);
    ASSERT_EQ(color.palette(), palette);
    settings.colorDivision = color.colorDivision;
    settings.maxIteration = color.maxIteration;
    settings.palette = palette;
    for (int i = 0; i < 2; ++i) {
        const CallValues call = randomCall(random);
        color.startCycle = call.cycleOffset;
        const ColoringPlan plan =
            makeColoringPlan(testing::coloringSpecOf(settings), testing::textureSpecOf(settings),
                             color, nullptr, call.slopeScale, 1.0);
        const OptionalImage actual =
            renderKeyFrame(cache_, path("k" + std::to_string(i) + ".zmb"), plan);
        ASSERT_TRUE(actual.has_value()) << i;
        KeyFrame expectedFrame = frames[i];
        expectedFrame.maxIteration = kInside;
        if (i == 1) {
            // A file that ends after its key colours holds no fractions.
            std::fill(expectedFrame.fractions.begin(), expectedFrame.fractions.end(), 0.0f);
        }
        const FrameImage expected = reference::colorKeyFrame(
            settings, expectedFrame, call.cycleOffset, call.slopeScale, 1.0);
        EXPECT_EQ(differences(*actual, expected, expectedFrame), "") << "file " << i;
    }
}

}  // namespace
}  // namespace zr
