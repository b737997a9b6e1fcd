#include "movie/time_stamps.h"

#include <gtest/gtest.h>

#include <vector>

#include "movie/movie_fixtures.h"
#include "movie/plan.h"
#include "movie/run_state.h"

namespace zr {
namespace {

std::vector<int> speedsOf(const char* rows, int timeType, int fps = 25, int limit = 1000) {
    const auto speeds = buildKeyFrameSpeeds(testing::speedsOf(rows), timeType, fps, 2.0, limit);
    EXPECT_TRUE(speeds.has_value()) << rows;
    return speeds.value_or(std::vector<int>{});
}

TEST(TimeStampTest, ReadsSecondsMinutesAndHours) {
    EXPECT_EQ(readTimeStamp("90"), 90);
    EXPECT_EQ(readTimeStamp("01:30"), 90);
    EXPECT_EQ(readTimeStamp("1:30"), 1);  // one digit for the minutes: 4 characters
    EXPECT_EQ(readTimeStamp("01:02:03"), 3723);
    EXPECT_EQ(readTimeStamp("ab:cd"), 0);
}

TEST(TimeStampTest, EvenSpeedsPerStretch) {
    EXPECT_EQ(speedsOf("10\t00:04", kTimeTypeTimeNs), std::vector<int>(10, 10));
    // Rows are taken in the order of their key frames: 25 frames over key frames 0 ... 6,
    // then 75 over 7 ... 9.
    const std::vector<int> speeds = speedsOf("10\t00:04\n7\t00:01", kTimeTypeTimeNs);
    EXPECT_EQ(speeds, (std::vector<int>{4, 4, 4, 4, 3, 3, 3, 25, 25, 25}));
    EXPECT_EQ(timeSpeeds(speeds, kTimeTypeTimeNs, 4).speedIn, 3);
    EXPECT_EQ(timeSpeeds(speeds, kTimeTypeTimeNs, 12).speedOut, 25);
    // Speeds of key frames past the run's last are not kept.
    EXPECT_EQ(speedsOf("10\t00:04\n7\t00:01", kTimeTypeTimeNs, 25, 5).size(), 5u);
}

TEST(TimeStampTest, EarlierStampIsRefused) {
    MovieSpec spec;
    spec.timeline.speedSpecs = testing::speedsOf("5\t00:10\n8\t00:05");
    spec.timeline.timeType = kTimeTypeTimeNs;
    RunState state;
    EXPECT_FALSE(Timeline(spec, state).startSpeeds(10));
    std::string error;
    spec.timeline.timeType = kTimeTypeTime;
    EXPECT_FALSE(planMovie(spec, 10, &error).has_value());
    EXPECT_EQ(error, "Later timestamps can not be earlier");
}

// A 10-hour key frame after a quick one makes the base speed grow far beyond the stretch's
// frames, and a 5-hour one after it makes it fall far: both searches end at once, and the key
// frames begin at their stamps.
TEST(TimeStampTest, LongStretches) {
    MovieSpec spec;
    spec.output.fps = 30;
    spec.timeline.speedSpecs = testing::speedsOf("0\t00:00\n1\t00:01\n2\t10:00:00\n3\t15:00:00");
    spec.timeline.timeType = kTimeTypeTime;
    const auto plan = planMovie(spec, 5);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->keyFrames[2].firstFrame, 10 * 3600 * 30);
    EXPECT_NEAR(static_cast<double>(plan->keyFrames[3].firstFrame), 15 * 3600 * 30, 30);
}

TEST(TimeStampTest, AStopRequestEndsTheWork) {
    MovieSpec spec;
    spec.output.fps = 30;
    spec.timeline.speedSpecs = testing::speedsOf("0\t00:00\n1\t00:01\n2\t10:00:00");
    spec.timeline.timeType = kTimeTypeTime;
    EXPECT_FALSE(buildKeyFrameSpeeds(spec.timeline.speedSpecs, kTimeTypeTime, 30, 2.0, 3,
                                     [] { return true; }));
    std::string error;
    EXPECT_FALSE(planMovie(spec, 3, &error, [] { return true; }));
    EXPECT_EQ(error, kPlanStopped);

    // A run asked to stop (Ctrl-C in the command line) ends before its first frame, without
    // the time stamp error.
    RunState state;
    EXPECT_TRUE(Timeline(spec, state).startSpeeds(3, [] { return true; }));
}

TEST(TimeStampTest, StretchesWithoutKeyFramesHandOutNothing) {
    // A stamp for key frame 0 and a second stamp for the same key frame: no division by zero;
    // the frames between them belong to no key frame.
    EXPECT_EQ(speedsOf("0\t00:02\n4\t00:06\n4\t00:08\n6\t00:09", kTimeTypeTimeNs),
              (std::vector<int>{25, 25, 25, 25, 13, 12}));
    EXPECT_TRUE(speedsOf("0\t00:05", kTimeTypeTime).empty());
    EXPECT_EQ(timeSpeeds({}, kTimeTypeTime, 3).speedIn, 0);
}

TEST(TimeStampTest, SmoothSpeedsWithASingleStampEqualTheEvenOnes) {
    const std::vector<int> smooth = speedsOf("10\t00:04", kTimeTypeTime);
    EXPECT_EQ(smooth, speedsOf("10\t00:04", kTimeTypeTimeNs));
    // "Time" starts a key frame at the speed of the one before and does not ramp by 1.
    const std::vector<int> table{10, 30, 31, 20};
    EXPECT_EQ(timeSpeeds(table, kTimeTypeTime, 0).speedIn, 10);
    EXPECT_EQ(timeSpeeds(table, kTimeTypeTime, 1).speedIn, 10);
    EXPECT_EQ(timeSpeeds(table, kTimeTypeTime, 1).speedOut, 30);
    EXPECT_EQ(timeSpeeds(table, kTimeTypeTime, 2).speedOut, 30);
    EXPECT_EQ(timeSpeeds(table, kTimeTypeTime, 9).speedIn, 20);
}

TEST(TimeStampTest, SmoothSpeedsMoveTowardsTheNewStretch) {
    // 100 frames over key frames 0 ... 3 (25 each), then 200 over 4 ... 7 (base 50): offsets
    // -12, -6, -3 halve the distance from 25, and the frames the ramps leave over are handed
    // back; then 50 frames over 8 ... 11 (base 12) down from 50, the last speed below 1.
    EXPECT_EQ(speedsOf("4\t00:04\n8\t00:12\n12\t00:14", kTimeTypeTime),
              (std::vector<int>{25, 25, 25, 25, 50, 56, 59, 58, 18, 8, 3, -1}));
    EXPECT_EQ(speedsOf("4\t00:04\n8\t00:12\n12\t00:14", kTimeTypeTimeNs),
              (std::vector<int>{25, 25, 25, 25, 50, 50, 50, 50, 13, 13, 12, 12}));
    // Same base speed as before: no offsets, the even speeds.
    EXPECT_EQ(speedsOf("4\t00:04\n8\t00:08", kTimeTypeTime), std::vector<int>(8, 25));

    // The plan of these speeds: key frame k starts at the speed of k - 1 and ramps to its own.
    MovieSpec spec;
    spec.output.fps = 25;
    spec.output.movieWidth = 640;
    spec.output.movieHeight = 360;
    spec.timeline.speedSpecs = testing::speedsOf("4\t00:04\n8\t00:12\n12\t00:14");
    spec.timeline.timeType = kTimeTypeTime;
    const auto plan = planMovie(spec, 14);
    ASSERT_TRUE(plan.has_value());
    std::vector<long long> firstFrames;
    for (const PlannedKeyFrame& row : plan->keyFrames)
        firstFrames.push_back(row.firstFrame);
    EXPECT_EQ(firstFrames, (std::vector<long long>{0, 25, 50, 75, 100, 137, 190, 248, 307, 331, 341,
                                                   345, 347, 348}));
    EXPECT_EQ(plan->totalFrames, 357);
}

}  // namespace
}  // namespace zr
