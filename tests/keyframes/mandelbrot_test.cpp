#include "keyframes/mandelbrot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "keyframes/key_frame_folder.h"
#include "keyframes/temp_folder.h"

namespace zr {
namespace {

using testing::TempFolder;

MandelbrotView lineView(double re, double im, double width, int pixels, int maxIteration) {
    MandelbrotView view;
    view.centerRe = re;
    view.centerIm = im;
    view.width = width;
    view.pixelWidth = pixels;
    view.pixelHeight = 1;
    view.maxIteration = maxIteration;
    return view;
}

TEST(Mandelbrot, InsidePointsTakeTheLimitAndOutsidePointsEscape) {
    // A row through the real axis from -2.5 to 1.5: inside from -2 to 0.25, outside beyond.
    ThreadPool pool(1);
    const KeyFrameFileData row =
        renderMandelbrot(lineView(-0.5, 0.0, 4.0, 400, 500), ThreadShare(pool, 2));
    for (int x = 0; x < 400; ++x) {
        const double re = -2.5 + (x + 0.5) * 0.01;
        if (re > -1.99 && re < 0.24) {
            EXPECT_EQ(row.counts[x], 500) << re;
            EXPECT_EQ(row.fractions[x], 0.0f) << re;
        } else if (re < -2.01 || re > 0.26) {
            EXPECT_LT(row.counts[x], 500) << re;
        }
        EXPECT_GE(row.fractions[x], 0.0f);
        EXPECT_LE(row.fractions[x], 1.0f);
    }
    // c = 1.495 escapes (|z| > 256) at the fourth step: 1.495, 3.73, 15.4, 238.9, 57000.
    EXPECT_EQ(row.counts[399], 5);
}

TEST(Mandelbrot, SmoothValueIsContinuousAcrossTheBands) {
    // Along the real axis from 0.3 to 2, outside the set, the count falls by whole steps;
    // count + 1 - fraction must not jump. Neighbouring samples differ by far less than a band.
    const KeyFrameFileData row = renderMandelbrot(lineView(1.15, 0.0, 1.7, 2000, 1000));
    int bandChanges = 0;
    for (int x = 1; x < 2000; ++x) {
        if (row.counts[x] == 1000 || row.counts[x - 1] == 1000) {
            continue;
        }
        const double before = row.counts[x - 1] + 1.0 - row.fractions[x - 1];
        const double after = row.counts[x] + 1.0 - row.fractions[x];
        if (row.counts[x] != row.counts[x - 1]) {
            ++bandChanges;
        }
        EXPECT_LT(std::abs(after - before), 0.35) << x;
    }
    EXPECT_GT(bandChanges, 8);
}

TEST(Mandelbrot, SeriesRunsFromTheDeepestToTheWidestNamedByZoom) {
    EXPECT_EQ(formatZoom(1.5e34), "1.5e34");
    EXPECT_EQ(formatZoom(536870912.0), "5.37e8");
    EXPECT_EQ(formatZoom(0.5), "5e-1");

    const TempFolder folder;
    KeyFrameSeries series;
    series.folder = (folder.path() / "new" / "zoom").string();
    series.count = 3;
    series.pixelWidth = 16;
    series.pixelHeight = 9;
    series.zoomFactor = 4.0;
    std::string error;
    ThreadPool pool(1);
    ASSERT_TRUE(makeKeyFrameSeries(series, nullptr, &error, ThreadShare(pool, 2))) << error;
    std::vector<std::string> files = listKeyFrames(series.folder, SortOrder::kDescending);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(std::filesystem::path(files[0]).filename(), "00003_1e0.zmb");
    EXPECT_EQ(std::filesystem::path(files[1]).filename(), "00002_4e0.zmb");
    EXPECT_EQ(std::filesystem::path(files[2]).filename(), "00001_1.6e1.zmb");
}

}  // namespace
}  // namespace zr
