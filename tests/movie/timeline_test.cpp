#include "movie/timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "settings/controls.h"
#include "settings/movie_settings.h"
#include "settings/render_host.h"

namespace zr {
namespace {

class RecordingHost : public NullRenderHost {
  public:
    void setValue(int id, std::string_view text) override {
        values.emplace_back(id, std::string(text));
    }
    void showError(std::string_view text) override { errors.emplace_back(text); }
    std::vector<std::pair<int, std::string>> values;
    std::vector<std::string> errors;
};

void setRows(TextTable& table, const char* text) {
    table.clear();
    table.parse(text, "\t", "\n");
}

// Walks key frame k as the render job does (no pictures) and returns the frames drawn.
int runKeyFrame(TimelineEngine& timeline, int k, int keyFrameCount,
                std::vector<FrameView>* views = nullptr) {
    timeline.applyColorCountStep();
    timeline.beginKeyFrame(k, keyFrameCount);
    int frames = 0;
    for (;;) {
        const auto view = timeline.beginFrame();
        if (!view)
            break;
        if (timeline.needsRecomposition()) {
            timeline.advanceColoursForComposition();
            timeline.advanceScalesAfterComposition();
        }
        if (views)
            views->push_back(*view);
        ++frames;
        if (!timeline.endFrame())
            break;
    }
    timeline.endKeyFrame();
    return frames;
}

struct TimelineTest : ::testing::Test {
    MovieSettings settings;
    RecordingHost host;
    TimelineTest() {
        settings.movieWidth = 600;
        settings.movieHeight = 338;
        settings.zoomFactor = 2.0;
    }
    std::vector<int> framesPerKeyFrame(int count, int startFrame = 0) {
        TimelineEngine timeline(settings, host);
        EXPECT_TRUE(timeline.startRun("", kTimeTypeSpeed, count));
        std::vector<int> frames;
        for (int k = startFrame; k < count; ++k)
            frames.push_back(runKeyFrame(timeline, k, count));
        return frames;
    }
};

TEST_F(TimelineTest, SingleSpeedRowGivesEveryKeyFrameButTheLastItsFrames) {
    setRows(settings.speedSpecs, "0\t25");
    TimelineEngine timeline(settings, host);
    ASSERT_TRUE(timeline.startRun("", kTimeTypeSpeed, 4));
    for (int k = 0; k < 3; ++k) {
        std::vector<FrameView> views;
        EXPECT_EQ(runKeyFrame(timeline, k, 4, &views), 25) << "key frame " << k;
        EXPECT_DOUBLE_EQ(timeline.zoom().startFactor(), std::pow(2.0, 1.0 / 25));
        // The first frame shows the whole composed picture, the last one is still wider than
        // the movie.
        EXPECT_EQ(views.front().halfWidth, 600);
        EXPECT_EQ(views.front().halfHeight, 338);
        EXPECT_GE(2 * views.back().halfWidth, 600);
    }
    // The last key frame zooms on until the view is narrower than 3 pixels each side:
    // 600 * 2^(-i/25) + 0.5 < 3 from frame i = 198 on.
    EXPECT_EQ(runKeyFrame(timeline, 3, 4), 198);
}

TEST_F(TimelineTest, SpeedRowsRampDuringTheKeyFrameBefore) {
    setRows(settings.speedSpecs, "0\t50\n3\t25");
    const std::vector<int> frames = framesPerKeyFrame(6);
    const int ramp = countFrames(50, 25, 2.0);
    EXPECT_GT(ramp, 25);
    EXPECT_LT(ramp, 50);
    EXPECT_EQ(frames[0], 50);
    EXPECT_EQ(frames[1], 50);
    EXPECT_EQ(frames[2], ramp);
    EXPECT_EQ(frames[3], 25);
    EXPECT_EQ(frames[4], 25);
}

TEST_F(TimelineTest, DefaultSpeedAndFrameByFrame) {
    setRows(settings.speedSpecs, "2\t30");
    std::vector<int> frames = framesPerKeyFrame(4);
    EXPECT_EQ(frames[0], 150);
    EXPECT_EQ(frames[1], countFrames(150, 30, 2.0));
    EXPECT_EQ(frames[2], 30);

    // "Frame by frame": one frame per key frame; the last key frame zooms on by 2 a frame until
    // its view is narrower than 3 pixels (600 / 2^8 + 0.5 < 3).
    setRows(settings.speedSpecs, "0\t1");
    frames = framesPerKeyFrame(4);
    EXPECT_EQ(frames, (std::vector<int>{1, 1, 1, 8}));
}

TEST_F(TimelineTest, RowsBeforeTheStartFrameAreNotApplied) {
    setRows(settings.speedSpecs, "0\t20\n1\t40");
    // Key frame 1's row is behind the start: the speed of key frame 0 goes on (the last key
    // frame ends when 600 * 2^(-i/20) + 0.5 < 3, from i = 159 on).
    EXPECT_EQ(framesPerKeyFrame(5, 2), (std::vector<int>{20, 20, 159}));
}

TEST_F(TimelineTest, LastKeyFrameCaps) {
    setRows(settings.speedSpecs, "0\t5000");
    EXPECT_EQ(framesPerKeyFrame(1), std::vector<int>{kLastKeyFrameMaxFrames});
    settings.stopOnLastFrame = 1;
    EXPECT_EQ(framesPerKeyFrame(2), (std::vector<int>{5000, 1}));
}

TEST_F(TimelineTest, SpeedsThatCannotZoomStillEnd) {
    // A speed of 0 or below counts as one frame per key frame.
    setRows(settings.speedSpecs, "0\t-4");
    EXPECT_EQ(framesPerKeyFrame(3), (std::vector<int>{1, 1, 8}));
    // A zoom factor of 1 never leaves a key frame: the counts still end.
    EXPECT_GT(countFrames(10, 20, 1.0), 0);
    EXPECT_GT(countFrames(10, 20, std::nan(""), RampCount::kFromFirstFrame), 0);
    settings.zoomFactor = 1.0;
    setRows(settings.speedSpecs, "0\t10\n1\t20");
    EXPECT_EQ(framesPerKeyFrame(2)[1], kLastKeyFrameMaxFrames);
}

TEST_F(TimelineTest, ReturnUprightRow) {
    setRows(settings.speedSpecs, "0\t10");
    setRows(settings.rotateSpecs, "0\t2\n1\tr");
    settings.startRotation = 30.0;
    TimelineEngine timeline(settings, host);
    ASSERT_TRUE(timeline.startRun("", kTimeTypeSpeed, 3));
    runKeyFrame(timeline, 0, 3);
    EXPECT_DOUBLE_EQ(timeline.state().rotationSpeed, 2.0);

    timeline.beginKeyFrame(1, 3);
    EXPECT_TRUE(timeline.targets().returnUpright);
    EXPECT_EQ(timeline.state().rotationSpeed, 0.0);
    ASSERT_TRUE(timeline.beginFrame());
    EXPECT_DOUBLE_EQ(settings.startRotation, 30.0 + (360.0 - 30.0) / 3);
    EXPECT_EQ(timeline.state().rotationSpeed, 0.0);
    timeline.endKeyFrame();
    EXPECT_EQ(settings.startRotation, 0.0);
    EXPECT_EQ(timeline.state().rotationSpeed, 0.0);
}

TEST_F(TimelineTest, RotationAndCycleSpeedsMoveToTheirTargets) {
    setRows(settings.speedSpecs, "0\t10");
    setRows(settings.rotateSpecs, "1\t4");
    setRows(settings.cycleSpecs, "0\t3\n1\t1");
    TimelineEngine timeline(settings, host);
    ASSERT_TRUE(timeline.startRun("", kTimeTypeSpeed, 3));
    EXPECT_EQ(timeline.state().cycleSpeed, 3.0);
    runKeyFrame(timeline, 0, 3);

    timeline.beginKeyFrame(1, 3);
    ASSERT_TRUE(timeline.beginFrame());
    EXPECT_DOUBLE_EQ(timeline.state().rotationSpeed, 0.4);
    // A smaller target of the same sign is reached on the first frame.
    EXPECT_DOUBLE_EQ(timeline.state().cycleSpeed, 1.0);
    const double cycleBefore = settings.startCycle;
    ASSERT_TRUE(timeline.needsRecomposition());
    timeline.advanceColoursForComposition();
    EXPECT_DOUBLE_EQ(settings.startCycle, cycleBefore + 1.0);
    timeline.endKeyFrame();
    EXPECT_EQ(timeline.state().rotationSpeed, 4.0);
}

TEST_F(TimelineTest, DivisionGrowsGeometricallyToTheRowsValue) {
    setRows(settings.speedSpecs, "0\t8");
    setRows(settings.divideSpecs, "0\t3\n1\t6");
    TimelineEngine timeline(settings, host);
    ASSERT_TRUE(timeline.startRun("", kTimeTypeSpeed, 3));
    EXPECT_EQ(settings.divisionFromKeyFrame, 0);
    EXPECT_EQ(settings.colorDivision, 3.0);
    runKeyFrame(timeline, 0, 3);
    EXPECT_EQ(settings.colorDivision, 3.0);

    timeline.beginKeyFrame(1, 3);
    const double perFrame = std::pow(2.0, 1.0 / 8);
    for (int frame = 1; frame <= 8; ++frame) {
        ASSERT_TRUE(timeline.beginFrame());
        ASSERT_TRUE(timeline.needsRecomposition());
        timeline.advanceColoursForComposition();
        EXPECT_NEAR(settings.colorDivision, 3.0 * std::pow(perFrame, frame), 1e-9);
        timeline.endFrame();
    }
    timeline.endKeyFrame();
    EXPECT_EQ(settings.colorDivision, 6.0);
}

TEST_F(TimelineTest, DivisionOfTheOtherSignOrFromZeroMovesLinearly) {
    setRows(settings.speedSpecs, "0\t4");
    setRows(settings.divideSpecs, "0\t2\n1\t-2\n2\t0\n3\t8");
    TimelineEngine timeline(settings, host);
    ASSERT_TRUE(timeline.startRun("", kTimeTypeSpeed, 5));
    runKeyFrame(timeline, 0, 5);

    timeline.beginKeyFrame(1, 5);
    std::vector<double> values;
    while (timeline.beginFrame()) {
        timeline.advanceColoursForComposition();
        values.push_back(settings.colorDivision);
        timeline.endFrame();
    }
    timeline.endKeyFrame();
    ASSERT_EQ(values.size(), 4u);
    EXPECT_DOUBLE_EQ(values[0], 1.0);
    EXPECT_DOUBLE_EQ(values[1], 0.0);
    EXPECT_DOUBLE_EQ(values[3], -2.0);

    runKeyFrame(timeline, 2, 5);  // to 0
    EXPECT_EQ(settings.colorDivision, 0.0);
    timeline.beginKeyFrame(3, 5);  // from 0: no geometric path, and never a non-number
    while (timeline.beginFrame()) {
        timeline.advanceColoursForComposition();
        EXPECT_TRUE(std::isfinite(settings.colorDivision));
        timeline.endFrame();
    }
    timeline.endKeyFrame();
    EXPECT_EQ(settings.colorDivision, 8.0);
}

TEST_F(TimelineTest, ColourCountStepsAndTheirClamps) {
    setRows(settings.speedSpecs, "0\t3");
    settings.keyColorCount = 10;
    setRows(settings.colorCountSpecs, "0\t-50.7");
    int palettes = 0;
    TimelineEngine timeline(settings, host, [&](int) { ++palettes; });
    ASSERT_TRUE(timeline.startRun("", kTimeTypeSpeed, 4));
    // At run start the count is held within 16 ... 1024.
    EXPECT_EQ(settings.keyColorCount, 16);
    EXPECT_EQ(timeline.state().colorCountStep, -50);
    ASSERT_FALSE(host.values.empty());
    EXPECT_EQ(host.values.back(), std::make_pair(int{kIdColors}, std::string("16")));
    // Later within 4 ... 1024.
    runKeyFrame(timeline, 0, 4);
    EXPECT_EQ(settings.keyColorCount, 4);

    setRows(settings.colorCountSpecs, "2\t400");
    settings.keyColorCount = 20;
    TimelineEngine growing(settings, host);
    ASSERT_TRUE(growing.startRun("", kTimeTypeSpeed, 4));
    runKeyFrame(growing, 0, 4);
    runKeyFrame(growing, 1, 4);
    EXPECT_EQ(settings.keyColorCount, 20);
    runKeyFrame(growing, 2, 4);  // every frame of key frame 2 adds 400
    EXPECT_EQ(settings.keyColorCount, 1024);
    EXPECT_GT(palettes, 0);
}

TEST_F(TimelineTest, StartIterationValueSetsTheStretchedRange) {
    TimelineEngine timeline(settings, host);
    timeline.startColourRange("250");
    EXPECT_EQ(settings.stretchMin, 250.0);
    EXPECT_EQ(settings.stretchMax, 1.0);
    EXPECT_EQ(timeline.state().keyMin, 250);
    timeline.startColourRange("-5");
    EXPECT_EQ(settings.stretchMin, -1.0);
    EXPECT_EQ(timeline.state().keyMin, 1);
}

TEST_F(TimelineTest, LeftScrollingEndsWhenThePositionPassesZero) {
    KeyFrameZoomSetup setup;
    setup.speedIn = setup.speedOut = 4;
    setup.zoomFactor = 2.0;
    setup.movieWidth = 100;
    setup.movieHeight = 50;
    setup.leftScrolling = true;
    KeyFrameZoom zoom(setup);
    std::vector<double> columns;
    while (zoom.mayBeginFrame() && zoom.viewOfFrame()) {
        const auto column = zoom.scrollColumn();
        if (!column)
            break;
        columns.push_back(*column);
    }
    EXPECT_EQ(columns, (std::vector<double>{100.0, 75.0, 50.0, 25.0}));
}

TEST(SpecRowsTest, LenientReadingAndRowLookup) {
    EXPECT_EQ(specInt("12abc"), 12);
    EXPECT_EQ(specInt("x"), 0);
    EXPECT_EQ(specInt("99999999999"), 2147483647);
    EXPECT_EQ(specDouble("2.5e1 deg"), 25.0);
    EXPECT_EQ(specDouble("nan"), 0.0);
    EXPECT_EQ(truncToInt(-2.9), -2);
    EXPECT_EQ(truncToInt(1e300), 2147483647);

    TextTable table;
    table.parse("10\ta\n1\tb\n01\tc\n1\td", "\t", "\n");
    EXPECT_EQ(findSpecRow(table, 1), 1);
    EXPECT_EQ(findSpecRow(table, 10), 0);
    EXPECT_EQ(findSpecRow(table, 2), -1);
}

}  // namespace
}  // namespace zr
