#include "coloring/palette.h"

#include <gtest/gtest.h>

#include "coloring/coloring_fixtures.h"

namespace zr {
namespace {

class ExpandPalette : public ::testing::Test {
  protected:
    void SetUp() override {
        keys[0] = Bgr{10, 20, 30};
        keys[1] = Bgr{210, 120, 31};
        keys[2] = Bgr{0, 255, 128};
        keys[3] = Bgr{100, 0, 250};
    }
    void expandPalette(int count) { palette_ = zr::expandPalette(keys, count); }
    const Palette& palette() const { return palette_; }

    KeyColors keys{};
    Palette palette_{};
};

TEST_F(ExpandPalette, OneKeyColorBlendsOnlyWithItself) {
    expandPalette(1);
    // Key colour 0 blended with itself: the truncated sum of the two weighted halves is the
    // colour or, where the weights' rounding falls short, one less. Never key colour 1.
    EXPECT_EQ(palette()[0], (Bgr{10, 20, 30}));
    for (const Bgr& entry : palette()) {
        ASSERT_TRUE(entry.blue >= 9 && entry.blue <= 10) << int{entry.blue};
        ASSERT_TRUE(entry.green >= 19 && entry.green <= 20) << int{entry.green};
        ASSERT_TRUE(entry.red >= 29 && entry.red <= 30) << int{entry.red};
    }
}

TEST_F(ExpandPalette, KeyColorsSitAtTheirIndicesAndBlendWithAHalfSine) {
    expandPalette(4);
    EXPECT_EQ(palette()[0], (Bgr{10, 20, 30}));
    EXPECT_EQ(palette()[256], (Bgr{210, 120, 31}));
    EXPECT_EQ(palette()[512], (Bgr{0, 255, 128}));
    EXPECT_EQ(palette()[768], (Bgr{100, 0, 250}));
    // Half way: the two neighbours half and half, truncated (110, 70, 30.5).
    EXPECT_EQ(palette()[128], (Bgr{110, 70, 30}));
    // The last key colour blends back into the first: (55, 10, 140) half way.
    EXPECT_EQ(palette()[896], (Bgr{55, 10, 140}));
    // A quarter of the way the half sine has moved only 0.5 - 0.5 cos(pi / 4) = 14.6 %.
    // 10 + 200 * 0.1464 = 39.29; 20 + 100 * 0.1464 = 34.6; 30 + 0.146 = 30.1.
    EXPECT_EQ(palette()[64], (Bgr{39, 34, 30}));
    // Near the end it approaches key colour 0 without reaching it.
    EXPECT_EQ(palette()[1023], (Bgr{10, 19, 30}));
}

TEST_F(ExpandPalette, CountsOutOfRangeAreHeldToTheTable) {
    expandPalette(0);
    EXPECT_EQ(palette()[700], (Bgr{10, 20, 30}));
    expandPalette(5000);  // as 1024: every entry is its own key colour
    EXPECT_EQ(palette()[3], (Bgr{100, 0, 250}));
}

}  // namespace
}  // namespace zr
