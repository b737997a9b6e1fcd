#include "movie/time_stamps.h"

#include <gtest/gtest.h>

#include <vector>

#include "movie/plan.h"
#include "settings/movie_settings.h"
#include "settings/render_host.h"
#include "support/text_table.h"

namespace zr {
namespace {

std::vector<int> speedsOf(const char* rows, int timeType, int fps = 25, int limit = 1000) {
    TextTable table;
    table.parse(rows, "\t", "\n");
    const auto speeds = buildKeyFrameSpeeds(table, timeType, fps, 2.0, limit);
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
    MovieSettings settings;
    settings.speedSpecs.parse("5\t00:10\n8\t00:05", "\t", "\n");
    struct Host : NullRenderHost {
        void showError(std::string_view text) override { errors.emplace_back(text); }
        std::vector<std::string> errors;
    } host;
    TimelineEngine timeline(settings, host);
    EXPECT_FALSE(timeline.startRun("", kTimeTypeTimeNs, 10));
    EXPECT_EQ(host.errors, std::vector<std::string>{"Later timestamps can not be earlier"});
    std::string error;
    EXPECT_FALSE(planMovie(settings, 10, 0, kTimeTypeTime, &error).has_value());
    EXPECT_EQ(error, "Later timestamps can not be earlier");
}

// A 10-hour key frame after a quick one makes the base speed grow far beyond the stretch's
// frames, and a 5-hour one after it makes it fall far: both searches end at once, and the key
// frames begin at their stamps.
TEST(TimeStampTest, LongStretches) {
    MovieSettings settings;
    settings.fps = 30;
    settings.speedSpecs.parse("0\t00:00\n1\t00:01\n2\t10:00:00\n3\t15:00:00", "\t", "\n");
    const auto plan = planMovie(settings, 5, 0, kTimeTypeTime);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->keyFrames[2].firstFrame, 10 * 3600 * 30);
    EXPECT_NEAR(static_cast<double>(plan->keyFrames[3].firstFrame), 15 * 3600 * 30, 30);
}

TEST(TimeStampTest, AStopRequestEndsTheWork) {
    MovieSettings settings;
    settings.fps = 30;
    settings.speedSpecs.parse("0\t00:00\n1\t00:01\n2\t10:00:00", "\t", "\n");
    EXPECT_FALSE(
        buildKeyFrameSpeeds(settings.speedSpecs, kTimeTypeTime, 30, 2.0, 3, [] { return true; }));
    std::string error;
    EXPECT_FALSE(planMovie(settings, 3, 0, kTimeTypeTime, &error, [] { return true; }));
    EXPECT_EQ(error, kPlanStopped);

    // A run asked to stop (Ctrl-C in the command line) ends before its first frame, without
    // the time stamp error.
    struct Host : NullRenderHost {
        void showError(std::string_view text) override { errors.emplace_back(text); }
        std::vector<std::string> errors;
    } host;
    settings.stopRequested = 1;
    TimelineEngine timeline(settings, host);
    EXPECT_TRUE(timeline.startRun("", kTimeTypeTime, 3));
    EXPECT_TRUE(host.errors.empty());
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
    MovieSettings settings;
    settings.fps = 25;
    settings.movieWidth = 640;
    settings.movieHeight = 360;
    settings.speedSpecs.parse("4\t00:04\n8\t00:12\n12\t00:14", "\t", "\n");
    const auto plan = planMovie(settings, 14, 0, kTimeTypeTime);
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
