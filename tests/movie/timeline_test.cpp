#include "movie/timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "movie/movie_fixtures.h"
#include "movie/recording_host.h"
#include "movie/run_state.h"

namespace zr {
namespace {

using testing::RecordingHost;

void setRows(SpeedTrack& track, const char* text) {
    track = testing::speedsOf(text);
}
void setRows(RotateTrack& track, const char* text) {
    track = testing::rotationsOf(text);
}
void setRows(CycleTrack& track, const char* text) {
    track = testing::cyclesOf(text);
}
void setRows(ColorCountTrack& track, const char* text) {
    track = testing::colorCountsOf(text);
}
void setDivisions(DivideTrack& track, const char* text) {
    track = testing::divisionsOf(text);
}

struct TimelineTest : ::testing::Test {
    MovieSpec spec;
    RunState state;
    RecordingHost host;
    std::vector<FrameView> views;   // of the last key frame run
    std::vector<double> divisions;  // colour division of each frame of it

    TimelineTest() {
        spec.output.movieWidth = 600;
        spec.output.movieHeight = 338;
    }
    // The start of a run: the colour range from "Start iter value", the rows of key frame 0,
    // the speeds.
    bool startRun(Timeline& timeline, std::uint32_t startIteration, int keyFrameCount) {
        spec.start.startIteration = startIteration;
        timeline.startColorRange();
        timeline.applyFirstKeyFrameRows();
        return timeline.startSpeeds(keyFrameCount);
    }
    // Walks key frame k as the render job does, without pictures; returns the frames drawn.
    int runKeyFrame(Timeline& timeline, int k, int keyFrameCount) {
        views.clear();
        divisions.clear();
        timeline.applyColorCountStep();
        timeline.beginKeyFrame(k, keyFrameCount);
        while (const auto view = timeline.beginFrame()) {
            if (timeline.needsRecomposition()) {
                timeline.advanceColorsForComposition();
                timeline.advanceScalesAfterComposition();
            }
            views.push_back(*view);
            divisions.push_back(state.color.colorDivision);
            if (!timeline.endFrame())
                break;
        }
        timeline.endKeyFrame();
        return static_cast<int>(views.size());
    }
    std::vector<int> framesPerKeyFrame(int count, int startFrame = 0) {
        state = RunState{};
        Timeline timeline(spec, state, &host);
        EXPECT_TRUE(startRun(timeline, 0, count));
        std::vector<int> frames;
        for (int k = startFrame; k < count; ++k)
            frames.push_back(runKeyFrame(timeline, k, count));
        return frames;
    }
};

TEST_F(TimelineTest, SingleSpeedRow) {
    setRows(spec.timeline.speedSpecs, "0\t25");
    Timeline timeline(spec, state, &host);
    ASSERT_TRUE(startRun(timeline, 0, 4));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(runKeyFrame(timeline, k, 4), 25) << "key frame " << k;
        EXPECT_DOUBLE_EQ(state.zoom.startFactor(), std::pow(2.0, 1.0 / 25));
        // The first frame shows the whole composed picture; the last is still wider than the
        // movie.
        EXPECT_EQ(views.front().halfWidth, 600);
        EXPECT_EQ(views.front().halfHeight, 338);
        EXPECT_GE(2 * views.back().halfWidth, 600);
    }
    // The last key frame zooms on until its view is narrower than 3 pixels each side:
    // 600 * 2^(-i/25) + 0.5 < 3 from frame i = 198 on.
    EXPECT_EQ(runKeyFrame(timeline, 3, 4), 198);
}

TEST_F(TimelineTest, SpeedRowsRampsAndDefaults) {
    setRows(spec.timeline.speedSpecs, "0\t50\n3\t25");
    const int ramp = countFrames(50, 25, 2.0);
    EXPECT_GT(ramp, 25);
    EXPECT_LT(ramp, 50);
    // The ramp happens during the key frame before the row.
    EXPECT_EQ(framesPerKeyFrame(6), (std::vector<int>{50, 50, ramp, 25, 25, 198}));

    // No row of key frame 0: 150 until the first row.
    setRows(spec.timeline.speedSpecs, "2\t30");
    EXPECT_EQ(framesPerKeyFrame(4), (std::vector<int>{150, countFrames(150, 30, 2.0), 30, 238}));

    // Key frame 1's row lies before the start frame: key frame 0's speed goes on.
    setRows(spec.timeline.speedSpecs, "0\t20\n1\t40");
    EXPECT_EQ(framesPerKeyFrame(5, 2), (std::vector<int>{20, 20, 159}));

    // "Frame by frame": one frame per key frame; the last zooms on by 2 a frame until its view
    // is narrower than 3 pixels.
    setRows(spec.timeline.speedSpecs, "0\t1");
    EXPECT_EQ(framesPerKeyFrame(4), (std::vector<int>{1, 1, 1, 8}));
}

TEST_F(TimelineTest, LastKeyFrameCapsAndSpeedsThatCannotZoom) {
    setRows(spec.timeline.speedSpecs, "0\t5000");
    EXPECT_EQ(framesPerKeyFrame(1), std::vector<int>{kLastKeyFrameMaxFrames});
    spec.zoom.stopOnLastFrame = true;
    EXPECT_EQ(framesPerKeyFrame(2), (std::vector<int>{5000, 1}));
    spec.zoom.stopOnLastFrame = false;

    // A speed of 0 or below counts as one frame per key frame.
    setRows(spec.timeline.speedSpecs, "0\t-4");
    EXPECT_EQ(framesPerKeyFrame(3), (std::vector<int>{1, 1, 8}));
    // Zoom factors that never leave a key frame still end every count.
    EXPECT_GT(countFrames(10, 20, 1.0), 0);
    EXPECT_GT(countFrames(10, 20, std::nan(""), RampCount::kFromFirstFrame), 0);
    spec.zoom.zoomFactor = 1.0;
    setRows(spec.timeline.speedSpecs, "0\t10\n1\t20");
    EXPECT_EQ(framesPerKeyFrame(2)[1], kLastKeyFrameMaxFrames);
}

// A speed of 2^31 frames per key frame, or a ramp towards it, would take minutes to walk.
TEST_F(TimelineTest, SpeedsAboveTheLargestCountAsTheLargest) {
    setRows(spec.timeline.speedSpecs, "0\t2147483648");
    EXPECT_EQ(framesPerKeyFrame(2), (std::vector<int>{kMaxSpeed, kLastKeyFrameMaxFrames}));
    EXPECT_EQ(countFrames(25, 2147483647, 2.0), countFrames(25, kMaxSpeed, 2.0));
    EXPECT_EQ(countFrames(2147483647, 25, 2.0, RampCount::kFromFirstFrame),
              countFrames(kMaxSpeed, 25, 2.0, RampCount::kFromFirstFrame));
}

// The smooth time stamp speeds search for a base speed rather than trying one after the other,
// which relies on a ramp's frame count never falling as its end speed grows. The zoom per frame
// never grows with the speed (over every speed, for two zoom factors), and the counts of small
// ramps, from any start speed, never fall.
TEST(RampFramesTest, NeverFallAsTheEndSpeedGrows) {
    for (const double zoom : {2.0, 1.05}) {
        double previous = zoomPerFrame(zoom, 1);
        int rises = 0;
        for (int speed = 2; speed <= kMaxSpeed; ++speed) {
            const double factor = zoomPerFrame(zoom, speed);
            rises += factor > previous ? 1 : 0;
            previous = factor;
        }
        EXPECT_EQ(rises, 0) << "zoom factor " << zoom;
    }
    for (const double zoom : {2.0, 1.05, 16.0, 1.0}) {
        for (const RampCount form : {RampCount::kFromFirstStep, RampCount::kFromFirstFrame}) {
            for (int from = 1; from <= 80; ++from) {
                int previous = countFrames(from, 1, zoom, form);
                for (int to = 2; to <= 300; ++to) {
                    const int frames = countFrames(from, to, zoom, form);
                    ASSERT_GE(frames, previous) << zoom << " " << from << " " << to;
                    previous = frames;
                }
            }
        }
    }
}

TEST_F(TimelineTest, ReturnUprightRow) {
    setRows(spec.timeline.speedSpecs, "0\t10");
    setRows(spec.timeline.rotateSpecs, "0\t2\n1\tr");
    state.color.startRotation = 30.0;
    Timeline timeline(spec, state, &host);
    ASSERT_TRUE(startRun(timeline, 0, 3));
    runKeyFrame(timeline, 0, 3);
    EXPECT_DOUBLE_EQ(state.timeline.rotationSpeed, 2.0);

    timeline.beginKeyFrame(1, 3);
    EXPECT_TRUE(state.targets.returnUpright);
    ASSERT_TRUE(timeline.beginFrame());
    EXPECT_EQ(state.timeline.rotationSpeed, 0.0);
    EXPECT_DOUBLE_EQ(state.color.startRotation, 30.0 + (360.0 - 30.0) / 3);
    timeline.endKeyFrame();
    EXPECT_EQ(state.color.startRotation, 0.0);
    EXPECT_EQ(state.timeline.rotationSpeed, 0.0);
}

TEST_F(TimelineTest, RotationAndCycleSpeedsMoveToTheirTargets) {
    setRows(spec.timeline.speedSpecs, "0\t10");
    setRows(spec.timeline.rotateSpecs, "1\t4");
    setRows(spec.timeline.cycleSpecs, "0\t3\n1\t1");
    Timeline timeline(spec, state, &host);
    ASSERT_TRUE(startRun(timeline, 0, 3));
    runKeyFrame(timeline, 0, 3);
    EXPECT_DOUBLE_EQ(state.color.startCycle, 30.0);  // 3 per recomposed frame

    timeline.beginKeyFrame(1, 3);
    ASSERT_TRUE(timeline.beginFrame());
    EXPECT_DOUBLE_EQ(state.timeline.rotationSpeed, 0.4);
    // A smaller target of the same sign is reached on the first frame.
    EXPECT_DOUBLE_EQ(state.timeline.cycleSpeed, 1.0);
    timeline.endKeyFrame();
    EXPECT_EQ(state.timeline.rotationSpeed, 4.0);
}

TEST_F(TimelineTest, DivisionPaths) {
    setRows(spec.timeline.speedSpecs, "0\t8");
    setDivisions(spec.timeline.divideSpecs, "0\t3\n1\t6\n2\t-2\n3\t0\n4\t5");
    Timeline timeline(spec, state, &host);
    ASSERT_TRUE(startRun(timeline, 0, 6));
    EXPECT_FALSE(state.color.divisionFromKeyFrame);
    runKeyFrame(timeline, 0, 6);
    EXPECT_EQ(state.color.colorDivision, 3.0);

    // Geometric to the row's value, exactly that value at the end.
    runKeyFrame(timeline, 1, 6);
    for (int frame = 1; frame <= 8; ++frame)
        EXPECT_NEAR(divisions[frame - 1], 3.0 * std::pow(2.0, frame / 8.0), 1e-9);
    EXPECT_EQ(state.color.colorDivision, 6.0);
    // A target of the other sign moves linearly.
    runKeyFrame(timeline, 2, 6);
    EXPECT_DOUBLE_EQ(divisions[0], 5.0);
    EXPECT_DOUBLE_EQ(divisions[7], -2.0);
    // To 0, and from 0 onwards, never through a non-number.
    runKeyFrame(timeline, 3, 6);
    runKeyFrame(timeline, 4, 6);
    EXPECT_DOUBLE_EQ(divisions[0], 5.0 / 8);
    EXPECT_EQ(state.color.colorDivision, 5.0);
}

TEST_F(TimelineTest, RunStartValuesAndColorCountClamps) {
    setRows(spec.timeline.speedSpecs, "0\t3");
    setRows(spec.timeline.colorCountSpecs, "0\t-50.7");
    state.color.keyColorCount = 10;
    Timeline timeline(spec, state, &host);
    ASSERT_TRUE(startRun(timeline, 250, 4));
    EXPECT_EQ(state.color.stretchMin, 250.0);
    EXPECT_EQ(state.color.stretchMax, 1.0);
    EXPECT_EQ(state.timeline.keyMin, 250);
    EXPECT_TRUE(state.color.divisionFromKeyFrame);
    // At run start the count is held within 16 ... 1024, later within 4 ... 1024.
    EXPECT_EQ(state.color.keyColorCount, 16);
    EXPECT_EQ(host.values["Colors"], "16");
    EXPECT_EQ(state.timeline.colorCountStep, -50);
    runKeyFrame(timeline, 0, 4);
    EXPECT_EQ(state.color.keyColorCount, 4);

    // A step from key frame 2 on: every frame adds it.
    setRows(spec.timeline.colorCountSpecs, "2\t400");
    state.color.keyColorCount = 20;
    Timeline growing(spec, state, &host);
    ASSERT_TRUE(startRun(growing, readStartIteration("-5"), 4));
    EXPECT_EQ(state.color.stretchMin, -1.0);
    EXPECT_EQ(spec.timeline.colorCountSpecs.rowOf(2), &spec.timeline.colorCountSpecs.rows()[0]);
    EXPECT_EQ(specInt("99999999999"), 2147483647);
    runKeyFrame(growing, 0, 4);
    runKeyFrame(growing, 1, 4);
    EXPECT_EQ(state.color.keyColorCount, 20);
    runKeyFrame(growing, 2, 4);
    EXPECT_EQ(state.color.keyColorCount, 1024);
    EXPECT_EQ(host.values["Colors"], "1024");
}

TEST(KeyFrameZoomTest, LeftScrollingEndsWhenThePositionPassesZero) {
    KeyFrameZoomSetup setup;
    setup.speedIn = setup.speedOut = 4;
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

TEST(KeyFrameZoomTest, SubpixelProgressStepsEvenlyUpToTheNextKeyFrame) {
    // Whole-pixel views of a slow and a ramped zoom stay as they are; the exact progress steps
    // by one ratio and the first frame not drawn would show exactly the middle 1/Z.
    for (const auto& [speedIn, speedOut] :
         {std::pair{25, 25}, std::pair{7, 7}, std::pair{10, 40}}) {
        KeyFrameZoomSetup setup;
        setup.speedIn = speedIn;
        setup.speedOut = speedOut;
        setup.movieWidth = 640;
        setup.movieHeight = 360;
        std::vector<FrameView> plain;
        for (KeyFrameZoom zoom(setup); zoom.mayBeginFrame();) {
            const auto view = zoom.viewOfFrame();
            if (!view)
                break;
            plain.push_back(*view);
        }
        setup.subpixel = true;
        KeyFrameZoom zoom(setup);
        std::vector<FrameView> exact;
        while (zoom.mayBeginFrame()) {
            const auto view = zoom.viewOfFrame();
            if (!view)
                break;
            exact.push_back(*view);
        }
        ASSERT_EQ(exact.size(), plain.size());
        ASSERT_GT(exact.size(), 3u);
        for (std::size_t i = 0; i < exact.size(); ++i) {
            EXPECT_EQ(exact[i].halfWidth, plain[i].halfWidth);
            EXPECT_EQ(exact[i].halfHeight, plain[i].halfHeight);
        }
        EXPECT_DOUBLE_EQ(exact[0].progress, 1.0);
        if (speedIn == speedOut) {
            // One ratio, which continued one step past the last frame reaches 1/Z: the next key
            // frame's first view.
            const double step = std::pow(0.5, 1.0 / static_cast<double>(exact.size()));
            for (std::size_t i = 1; i < exact.size(); ++i)
                EXPECT_NEAR(exact[i].progress / exact[i - 1].progress, step, 1e-12) << i;
            EXPECT_NEAR(exact.back().progress * step, 0.5, 1e-12);
        }
        for (std::size_t i = 1; i < exact.size(); ++i)
            EXPECT_LT(exact[i].progress, exact[i - 1].progress);
    }
    // The last key frame zooms on by its own rules, unstretched.
    KeyFrameZoomSetup last;
    last.speedIn = last.speedOut = 10;
    last.movieWidth = 640;
    last.movieHeight = 360;
    last.lastKeyFrame = true;
    last.subpixel = true;
    EXPECT_EQ(KeyFrameZoom(last).progressExponent(), 1.0);
}

}  // namespace
}  // namespace zr
