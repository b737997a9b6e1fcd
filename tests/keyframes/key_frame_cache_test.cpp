#include "keyframes/key_frame_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

#include "keyframes/key_frame_writer.h"
#include "keyframes/temp_folder.h"

namespace zr {
namespace {

using testing::putInt32At;
using testing::readBytes;
using testing::writeBytes;

// Every pixel distinct: count 1000 + 100 y + x, fraction x / 8 + y / 64.
KeyFrameFileData numbered(int width, int height) {
    KeyFrameFileData data = KeyFrameFileData::uniform(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            data.setPixel(x, y, 1000 + 100 * y + x, x / 8.f + y / 64.f);
        }
    }
    return data;
}

class RecordingHost : public UnreadableKeyFrameListener {
  public:
    void keyFrameUnreadable(const std::string& path) override { unreadable.push_back(path); }
    std::vector<std::string> unreadable;
};

class KeyFrameCacheTest : public ::testing::Test {
  protected:
    std::string write(const std::string& name, const KeyFrameFileData& data) {
        EXPECT_TRUE(writeKeyFrameFile(folder.file(name), data, nullptr));
        return folder.file(name);
    }

    testing::TempFolder folder;
    KeyFrameCache cache;
};

TEST_F(KeyFrameCacheTest, ReadsKeyFramesOfOddShapesRowByRow) {
    for (const auto& [width, height] : {std::pair{1, 1}, {7, 1}, {1, 9}, {3, 40}, {45, 2}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        KeyFrameFileData data = numbered(width, height);
        data.maxIteration = 4321;
        const KeyFrame* frame = cache.load(write(std::to_string(width * 100 + height), data));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->width, width);
        EXPECT_EQ(frame->counts, data.counts);
        EXPECT_EQ(frame->fractions, data.fractions);
        EXPECT_EQ(frame->maxIteration, 4321);
        cache.clearInUse();
    }
}

TEST_F(KeyFrameCacheTest, ShortFilesReadAsFarAsTheyGo) {
    // Without maxIteration: none, and no fractions, even in a slot whose tables held another key
    // frame of that size.
    KeyFrameFileData noTail = numbered(3, 4);
    noTail.writeMaxIteration = false;
    EXPECT_FALSE(cache.load(write("a.zmb", noTail))->maxIteration);
    KeyFrameFileData full = numbered(3, 4);
    full.maxIteration = 777;
    const std::string fullPath = write("b.zmb", full);
    ASSERT_NE(cache.load(fullPath), nullptr);
    cache.emptyAll();
    const KeyFrame* inherited = cache.load(write("c.zmb", noTail));
    EXPECT_FALSE(inherited->maxIteration);
    EXPECT_EQ(inherited->counts, noTail.counts);
    EXPECT_EQ(std::count(inherited->fractions.begin(), inherited->fractions.end(), 0.f), 12);

    // Cut inside the fractions: 6.5 of 12 values are left, column by column.
    auto bytes = readBytes(fullPath);
    bytes.resize(bytes.size() - 4 * 5 - 2);
    writeBytes(fullPath, bytes);
    cache.emptyAll();
    const KeyFrame* cut = cache.load(fullPath);
    ASSERT_NE(cut, nullptr);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(cut->fraction(0, y), full.fractions[y * 3]);
        EXPECT_EQ(cut->fraction(1, y), y < 2 ? full.fractions[y * 3 + 1] : 0.f);
        EXPECT_EQ(cut->fraction(2, y), 0.f);
    }
}

TEST_F(KeyFrameCacheTest, RefusesDamagedAndHostileFilesAndReleasesTheSlot) {
    const std::string good = write("good.zmb", numbered(5, 4));
    const auto original = readBytes(good);
    const std::size_t colorCountAt = 11 + 4 * 20 + 4;
    const auto patched = [&](std::size_t offset, std::int32_t value, std::size_t offset2 = 0,
                             std::int32_t value2 = 0) {
        auto bytes = original;
        putInt32At(bytes, offset, value);
        if (offset2) {
            putInt32At(bytes, offset2, value2);
        }
        return bytes;
    };
    auto wrongMagic = original;
    wrongMagic[2] = 'C';
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        KeyFrameFault fault;
        const char* says;  // part of the reason given
    };
    using enum KeyFrameFault;
    const Case cases[] = {
        {"empty", {}, kNotKeyFrame, "holds 0 bytes, too few for a key frame file"},
        {"wrong magic", wrongMagic, kNotKeyFrame, "does not start like a key frame file"},
        {"header cut", {original.begin(), original.begin() + 9}, kNotKeyFrame, "holds 9 bytes"},
        {"zero width", patched(3, 0), kDamaged, "size of 0 x 4 pixels"},
        {"negative height", patched(7, -4), kDamaged, "size of 5 x -4 pixels"},
        {"100000 x 100000", patched(3, 100000, 7, 100000), kDamaged,
         "too few for the counts of its 100000 x 100000 pixels"},
        {"largest size", patched(3, 0x7fffffff, 7, 0x7fffffff), kDamaged, "cut short"},
        {"no colours", patched(colorCountAt, 0), kDamaged, "key colour count 0 is not 1 to 1024"},
        {"1025 colours", patched(colorCountAt, 1025), kDamaged, "count 1025"},
        {"cut inside the counts",
         {original.begin(), original.begin() + 50},
         kDamaged,
         "holds 50 bytes, too few for the counts of its 5 x 4 pixels (99 bytes): it was cut "
         "short"},
        {"cut inside the colours",
         {original.begin(), original.begin() + colorCountAt + 9},
         kDamaged,
         "and its"},
    };
    RecordingHost host;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        writeBytes(folder.file("bad.zmb"), test.bytes);
        cache.forgetUnreadable();
        EXPECT_EQ(cache.load(folder.file("bad.zmb"), &host), nullptr);
        EXPECT_TRUE(cache.slot(0).path.empty());
        EXPECT_EQ(cache.slot(0).inUse, 0);
        const std::optional<KeyFrameReadError> error = cache.readError(folder.file("BAD.zmb"));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->path, folder.file("bad.zmb"));
        EXPECT_EQ(error->fault, test.fault);
        EXPECT_NE(error->detail.find(test.says), std::string::npos) << error->detail;
    }
    // Mended, it reads, and the failure is forgotten only once asked to try again.
    writeBytes(folder.file("bad.zmb"), original);
    EXPECT_EQ(cache.load(folder.file("bad.zmb")), nullptr);
    cache.forgetUnreadable();
    EXPECT_NE(cache.load(folder.file("bad.zmb")), nullptr);
    EXPECT_FALSE(cache.readError(folder.file("bad.zmb")));
    EXPECT_TRUE(host.unreadable.empty());

    EXPECT_EQ(cache.load(folder.file("missing.zmb"), &host), nullptr);
    EXPECT_EQ(host.unreadable, std::vector<std::string>{folder.file("missing.zmb")});
    EXPECT_EQ(cache.readError(folder.file("missing.zmb"))->detail,
              "it cannot be opened: No such file or directory");

    // The slot holds 255 characters: a path of 256 is refused even though the file exists.
    const std::string base = folder.file("");
    const std::string longest = write(std::string(255 - base.size(), 'a'), numbered(1, 1));
    const std::string tooLong = write(std::string(256 - base.size(), 'b'), numbered(1, 1));
    EXPECT_NE(cache.load(longest), nullptr);
    EXPECT_EQ(cache.load(tooLong), nullptr);
}

TEST_F(KeyFrameCacheTest, KeepsWhatTheHeaderSaysAndChangesNothingElse) {
    KeyFrameFileData data = numbered(2, 2);
    data.keyColors = {Bgr{10, 20, 30}, Bgr{40, 50, 60}, Bgr{70, 80, 90}};
    data.iterationDivision = 12;
    const KeyFrame* frame = cache.load(write("first.zmb", data));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->keyColors, data.keyColors);
    EXPECT_EQ(frame->iterationDivision, 12);
}

TEST_F(KeyFrameCacheTest, FindsKeyFramesIgnoringCaseAndReusesSlotsFromTheCursor) {
    std::vector<std::string> paths;
    for (int i = 0; i < 17; ++i) {
        paths.push_back(write(std::string("K").append(std::to_string(i)), numbered(4, 2)));
    }
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(cache.load(paths[i]), &cache.slot(i));
    }

    // Found in any letter case, without opening the file again.
    std::filesystem::remove(paths[3]);
    std::string lower = paths[3];
    lower[lower.rfind('K')] = 'k';
    EXPECT_EQ(cache.find(lower), &cache.slot(3));
    EXPECT_EQ(cache.load(lower), &cache.slot(3));
    EXPECT_EQ(cache.find(""), nullptr);

    // All 16 in use: a 17th key frame fails at once and disturbs nothing.
    EXPECT_EQ(cache.load(paths[16]), nullptr);
    EXPECT_EQ(cache.cursor(), 0);
    EXPECT_EQ(cache.slot(0).path, paths[0]);

    // Slot 0 still claimed: the cursor passes over it to slot 1, whose tables (same size)
    // are kept, then slot 2 takes a key frame of another size.
    for (int i = 1; i < 16; ++i) {
        cache.slot(i).inUse = 0;
    }
    const std::int32_t* tables = cache.slot(1).counts.data();
    ASSERT_EQ(cache.load(paths[16]), &cache.slot(1));
    EXPECT_EQ(cache.slot(1).counts.data(), tables);
    EXPECT_EQ(cache.find(paths[1]), nullptr);
    const KeyFrameFileData bigger = numbered(9, 5);
    ASSERT_EQ(cache.load(write("bigger", bigger)), &cache.slot(2));
    EXPECT_EQ(cache.slot(2).counts, bigger.counts);
    EXPECT_EQ(cache.cursor(), 3);
}

TEST_F(KeyFrameCacheTest, ThreadsAskingForTheSameFilesAllGetWholeKeyFrames) {
    std::vector<KeyFrameFileData> data;
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        data.push_back(numbered(200 + i, 150));
        paths.push_back(write(std::string("t").append(std::to_string(i)), data.back()));
    }
    std::vector<KeyFrame*> results(16);
    {
        std::vector<std::jthread> threads;
        for (std::size_t t = 0; t < results.size(); ++t) {
            threads.emplace_back([&, t] { results[t] = cache.load(paths[t % 4]); });
        }
    }
    for (std::size_t t = 0; t < results.size(); ++t) {
        ASSERT_EQ(results[t], results[t % 4]);
        ASSERT_NE(results[t], nullptr);
        EXPECT_EQ(results[t]->counts, data[t % 4].counts);
        EXPECT_EQ(results[t]->fractions, data[t % 4].fractions);
    }
}

}  // namespace
}  // namespace zr
