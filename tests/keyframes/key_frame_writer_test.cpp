#include "keyframes/key_frame_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "keyframes/temp_folder.h"

namespace zr {
namespace {

using testing::int32At;
using testing::readBytes;
using testing::TempFolder;

TEST(KeyFrameWriter, WritesHeaderColumnsColorsAndFractionsInFileOrder) {
    const TempFolder folder;
    KeyFrameFileData data = KeyFrameFileData::uniform(3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            data.setPixel(x, y, 10 * x + y, 0.25f * (x + 1) + y);
        }
    }
    data.iterationDivision = 7;
    data.keyColors = {Bgr{1, 2, 3}, Bgr{4, 5, 6}, Bgr{7, 8, 9}};
    data.maxIteration = 5000;
    const std::string path = folder.file("k.zmb");
    ASSERT_TRUE(writeKeyFrameFile(path, data, nullptr));

    const auto bytes = readBytes(path);
    ASSERT_EQ(bytes.size(), 23u + 8 * 6 + 3 * 3);
    EXPECT_EQ(std::memcmp(bytes.data(), "ZMB", 3), 0);
    EXPECT_EQ(int32At(bytes, 3), 3);
    EXPECT_EQ(int32At(bytes, 7), 2);
    // Column by column: (0,0) (0,1) (1,0) (1,1) (2,0) (2,1).
    const std::int32_t expectedCounts[] = {0, 1, 10, 11, 20, 21};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(int32At(bytes, 11 + 4 * i), expectedCounts[i]) << i;
    }
    EXPECT_EQ(int32At(bytes, 35), 7);
    EXPECT_EQ(int32At(bytes, 39), 3);
    EXPECT_EQ(bytes[43], 1);
    EXPECT_EQ(bytes[47], 5);
    EXPECT_EQ(bytes[51], 9);
    EXPECT_EQ(int32At(bytes, 52), 5000);
    const float expectedFractions[] = {0.25f, 1.25f, 0.5f, 1.5f, 0.75f, 1.75f};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(std::bit_cast<float>(int32At(bytes, 56 + 4 * i)), expectedFractions[i]) << i;
    }
}

}  // namespace
}  // namespace zr
