#include "keyframes/key_frame_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "keyframes/key_frame_writer.h"
#include "keyframes/temp_folder.h"
#include "settings/movie_settings.h"
#include "settings/render_host.h"

namespace zr {
namespace {

using testing::putInt32At;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

// A key frame whose every pixel is distinct: count 1000 + 100 y + x, fraction x / 8 + y / 64.
KeyFrameFileData numbered(int width, int height) {
    KeyFrameFileData data = KeyFrameFileData::uniform(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            data.setPixel(x, y, 1000 + 100 * y + x, x / 8.0f + y / 64.0f);
    }
    return data;
}

void expectTablesEqual(const KeyFrame& frame, const KeyFrameFileData& data) {
    ASSERT_EQ(frame.width, data.width);
    ASSERT_EQ(frame.height, data.height);
    EXPECT_EQ(frame.counts, data.counts);
    EXPECT_EQ(frame.fractions, data.fractions);
}

class RecordingHost : public NullRenderHost {
  public:
    void keyFrameUnreadable(std::string_view path) override { unreadable.emplace_back(path); }
    std::vector<std::string> unreadable;
};

class KeyFrameCacheTest : public ::testing::Test {
  protected:
    void SetUp() override { resetMovieSettings(); }
    void TearDown() override { resetMovieSettings(); }

    std::string write(const std::string& name, const KeyFrameFileData& data) {
        const std::string path = folder.file(name);
        EXPECT_TRUE(writeKeyFrameFile(path, data, nullptr));
        return path;
    }

    TempFolder folder;
    KeyFrameCache cache;
};

TEST_F(KeyFrameCacheTest, ReadsKeyFramesOfOddShapesRowByRow) {
    for (const auto& [width, height] : {std::pair{1, 1}, {7, 1}, {1, 9}, {3, 40}, {45, 2}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        KeyFrameFileData data = numbered(width, height);
        data.maxIteration = 4321;
        const std::string path =
            write(std::to_string(width) + "x" + std::to_string(height) + ".zmb", data);
        const KeyFrame* frame = cache.load(path);
        ASSERT_NE(frame, nullptr);
        expectTablesEqual(*frame, data);
        EXPECT_EQ(frame->insideValue, 4321);
        EXPECT_EQ(frame->inUse, 1);
        cache.clearInUse();
    }
    EXPECT_EQ(movieSettings().maxIteration, 4321);
}

TEST_F(KeyFrameCacheTest, FileWithoutMaxIterationInheritsTheLastOneAndHasNoFractions) {
    KeyFrameFileData shortData = numbered(4, 3);
    shortData.writeMaxIteration = false;
    const std::string shortPath = write("short.zmb", shortData);

    const KeyFrame* first = cache.load(shortPath);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->insideValue, -1);
    EXPECT_EQ(first->counts, shortData.counts);
    EXPECT_TRUE(std::all_of(first->fractions.begin(), first->fractions.end(),
                            [](float f) { return f == 0.0f; }));

    KeyFrameFileData full = numbered(4, 3);
    full.maxIteration = 777;
    ASSERT_NE(cache.load(write("full.zmb", full)), nullptr);
    // The same slot size is reused, yet none of the earlier fractions may survive.
    cache.emptyAll();
    const KeyFrame* again = cache.load(write("short2.zmb", shortData));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->insideValue, 777);
    EXPECT_EQ(std::count(again->fractions.begin(), again->fractions.end(), 0.0f), 12);
}

TEST_F(KeyFrameCacheTest, FileCutInsideTheFractionsReadsWhatIsThereAndZeroesTheRest) {
    KeyFrameFileData data = numbered(3, 4);
    const std::string path = write("cut.zmb", data);
    auto bytes = readBytes(path);
    bytes.resize(bytes.size() - 4 * 5 - 2);  // the last five fractions and half of one more
    writeBytes(path, bytes);

    const KeyFrame* frame = cache.load(path);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->counts, data.counts);
    // Stored column by column, six whole values are left: column 0 and rows 0-1 of column 1.
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(frame->fraction(0, y), data.fractions[y * 3 + 0]);
        EXPECT_EQ(frame->fraction(1, y), y < 2 ? data.fractions[y * 3 + 1] : 0.0f);
        EXPECT_EQ(frame->fraction(2, y), 0.0f);
    }
}

TEST_F(KeyFrameCacheTest, RefusesDamagedAndHostileFilesAndReleasesTheSlot) {
    const std::string good = write("good.zmb", numbered(5, 4));
    const auto original = readBytes(good);
    const std::size_t colorCountAt = 11 + 4 * 20 + 4;
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases;
    const auto patched = [&](std::size_t offset, std::int32_t value) {
        auto bytes = original;
        putInt32At(bytes, offset, value);
        return bytes;
    };
    cases.push_back({"empty", {}});
    cases.push_back({"wrong magic", [&] {
                         auto bytes = original;
                         bytes[2] = 'C';
                         return bytes;
                     }()});
    cases.push_back({"header cut", {original.begin(), original.begin() + 9}});
    cases.push_back({"zero width", patched(3, 0)});
    cases.push_back({"negative height", patched(7, -4)});
    cases.push_back({"100000 x 100000", [&] {
                         auto bytes = patched(3, 100000);
                         putInt32At(bytes, 7, 100000);
                         return bytes;
                     }()});
    cases.push_back({"largest size", [&] {
                         auto bytes = patched(3, 0x7fffffff);
                         putInt32At(bytes, 7, 0x7fffffff);
                         return bytes;
                     }()});
    cases.push_back({"no colours", patched(colorCountAt, 0)});
    cases.push_back({"1025 colours", patched(colorCountAt, 1025)});
    cases.push_back({"negative colours", patched(colorCountAt, -3)});
    cases.push_back({"cut inside the counts", {original.begin(), original.begin() + 50}});
    cases.push_back(
        {"cut inside the colours", {original.begin(), original.begin() + colorCountAt + 4 + 5}});

    RecordingHost host;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = folder.file("bad.zmb");
        writeBytes(path, c.bytes);
        EXPECT_EQ(cache.load(path, &host), nullptr);
        EXPECT_EQ(cache.find(path), nullptr);
        EXPECT_TRUE(cache.slot(0).path.empty());
        EXPECT_EQ(cache.slot(0).inUse, 0);
    }
    EXPECT_TRUE(host.unreadable.empty());
    EXPECT_EQ(movieSettings().colorsFromKeyFrame, 1);  // no refused file gave its colours

    EXPECT_EQ(cache.load(folder.file("missing.zmb"), &host), nullptr);
    EXPECT_EQ(cache.load(folder.path().string(), &host), nullptr);  // a folder
    ASSERT_EQ(host.unreadable.size(), 1u);
    EXPECT_EQ(host.unreadable[0], folder.file("missing.zmb"));
    EXPECT_NE(cache.load(good, &host), nullptr);
}

TEST_F(KeyFrameCacheTest, FirstFileReadSuppliesKeyColoursAndDivision) {
    KeyFrameFileData first = numbered(2, 2);
    first.keyColors = {Bgr{10, 20, 30}, Bgr{40, 50, 60}, Bgr{70, 80, 90}};
    first.iterationDivision = 12;
    KeyFrameFileData second = numbered(2, 2);
    second.keyColors = {Bgr{1, 1, 1}};
    second.iterationDivision = 99;
    const std::string firstPath = write("first.zmb", first);
    const std::string secondPath = write("second.zmb", second);

    MovieSettings& settings = movieSettings();
    ASSERT_NE(cache.load(firstPath), nullptr);
    EXPECT_EQ(settings.keyColorCount, 3);
    EXPECT_EQ(settings.keyColors[2], (Bgr{70, 80, 90}));
    EXPECT_EQ(settings.colorDivision, 12.0);
    EXPECT_EQ(settings.colorsFromKeyFrame, 0);
    EXPECT_EQ(settings.palette[0], (Bgr{10, 20, 30}));  // the palette was expanded from them

    ASSERT_NE(cache.load(secondPath), nullptr);
    EXPECT_EQ(settings.keyColorCount, 3);
    EXPECT_EQ(settings.colorDivision, 12.0);

    // A cached key frame does not count as read; without divisionFromKeyFrame only the
    // colours are taken.
    settings.colorsFromKeyFrame = 1;
    settings.divisionFromKeyFrame = 0;
    ASSERT_NE(cache.load(firstPath), nullptr);
    EXPECT_EQ(settings.colorsFromKeyFrame, 1);
    cache.emptyAll();
    ASSERT_NE(cache.load(secondPath), nullptr);
    EXPECT_EQ(settings.keyColorCount, 1);
    EXPECT_EQ(settings.keyColors[0], (Bgr{1, 1, 1}));
    EXPECT_EQ(settings.colorDivision, 12.0);
}

TEST_F(KeyFrameCacheTest, FindsCachedKeyFramesIgnoringLetterCaseWithoutReading) {
    const KeyFrameFileData data = numbered(3, 3);
    const std::string path = write("Deep.ZMB", data);
    EXPECT_EQ(cache.find(path), nullptr);
    KeyFrame* frame = cache.load(path);
    ASSERT_NE(frame, nullptr);

    std::filesystem::remove(path);  // found again without opening the file
    std::string otherCase = path;
    std::transform(otherCase.begin(), otherCase.end(), otherCase.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    cache.clearInUse();
    EXPECT_EQ(cache.find(otherCase), frame);
    EXPECT_EQ(frame->inUse, 0);
    EXPECT_EQ(cache.load(otherCase), frame);
    EXPECT_EQ(frame->inUse, 1);
    EXPECT_EQ(frame->path, path);
    EXPECT_EQ(cache.find(""), nullptr);
    EXPECT_EQ(cache.load(""), nullptr);
}

TEST_F(KeyFrameCacheTest, ReusesSlotsFromTheCursorAndKeepsTablesOfTheSameSize) {
    std::vector<std::string> paths;
    for (int i = 0; i < 18; ++i) {
        paths.push_back(write("k" + std::to_string(i) + ".zmb", numbered(4, 2)));
    }
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(cache.load(paths[static_cast<std::size_t>(i)]), &cache.slot(i));
    }
    EXPECT_EQ(cache.cursor(), 0);

    // All 16 in use: the 17th fails at once and disturbs nothing.
    EXPECT_EQ(cache.load(paths[16]), nullptr);
    EXPECT_EQ(cache.cursor(), 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(cache.slot(i).path, paths[static_cast<std::size_t>(i)]);

    // Slot 0 is still claimed, slot 1 is free for reuse: the cursor passes over slot 0.
    for (int i = 1; i < 16; ++i)
        cache.slot(i).inUse = 0;
    const std::int32_t* tables = cache.slot(1).counts.data();
    KeyFrame* reused = cache.load(paths[16]);
    ASSERT_EQ(reused, &cache.slot(1));
    EXPECT_EQ(cache.cursor(), 2);
    EXPECT_EQ(reused->counts.data(), tables);  // same size: the tables were kept
    EXPECT_EQ(cache.find(paths[1]), nullptr);

    const KeyFrameFileData bigger = numbered(9, 5);
    KeyFrame* replaced = cache.load(write("bigger.zmb", bigger));
    ASSERT_EQ(replaced, &cache.slot(2));
    EXPECT_EQ(cache.cursor(), 3);
    expectTablesEqual(*replaced, bigger);

    // Emptying keeps the tables for the next file of that size.
    cache.emptyAll();
    EXPECT_EQ(cache.load(paths[17]), &cache.slot(0));
    EXPECT_EQ(cache.slot(2).width, 9);
}

TEST_F(KeyFrameCacheTest, RefusesPathsOf256CharactersOrMore) {
    const std::string base = folder.file("");
    ASSERT_LT(base.size(), 200u);
    const std::string longest = base + std::string(255 - base.size() - 4, 'a') + ".zmb";
    ASSERT_EQ(longest.size(), 255u);
    write(longest.substr(base.size()), numbered(1, 1));
    EXPECT_NE(cache.load(longest), nullptr);

    const std::string tooLong = base + std::string(256 - base.size() - 4, 'b') + ".zmb";
    write(tooLong.substr(base.size()), numbered(1, 1));
    EXPECT_EQ(cache.load(tooLong), nullptr);
}

TEST_F(KeyFrameCacheTest, ThreadsAskingForTheSameFilesAllGetWholeKeyFrames) {
    std::vector<std::string> paths;
    std::vector<KeyFrameFileData> data;
    for (int i = 0; i < 4; ++i) {
        data.push_back(numbered(200 + i, 150));
        paths.push_back(write("t" + std::to_string(i) + ".zmb", data.back()));
    }
    std::vector<KeyFrame*> results(16);
    {
        std::vector<std::jthread> threads;
        for (std::size_t t = 0; t < results.size(); ++t) {
            threads.emplace_back([&, t] { results[t] = cache.load(paths[t % 4]); });
        }
    }
    for (std::size_t t = 0; t < results.size(); ++t) {
        ASSERT_NE(results[t], nullptr);
        EXPECT_EQ(results[t], results[t % 4]);
        expectTablesEqual(*results[t], data[t % 4]);
    }
}

}  // namespace
}  // namespace zr
