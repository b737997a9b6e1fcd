#include "movie/plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "movie/movie_length.h"
#include "movie/timeline.h"
#include "settings/memory_controls.h"
#include "settings/movie_settings.h"

namespace zr {
namespace {

struct PlanTest : ::testing::Test {
    MovieSettings settings;
    PlanTest() {
        settings.fps = 25;
        settings.zoomFactor = 2.0;
        settings.movieWidth = 600;
        settings.movieHeight = 338;
        settings.speedSpecs.parse("0\t25\n2\t50", "\t", "\n");
    }
};

TEST_F(PlanTest, TableAndSummary) {
    settings.framesPerMovie = 60;
    const auto plan = planMovie(settings, 4, 1, kTimeTypeSpeed);
    ASSERT_TRUE(plan.has_value());
    // Key frame 1 ramps from 25 to 50: its view passes the next key frame's after 37 frames,
    // before the ramp's count of 38 is reached.
    const int ramp = 37;
    EXPECT_EQ(countFrames(25, 50, 2.0), 38);
    ASSERT_EQ(plan->keyFrames.size(), 3u);
    EXPECT_EQ(plan->keyFrames[0].frames, ramp);
    EXPECT_EQ(plan->keyFrames[1].firstFrame, ramp);
    EXPECT_EQ(plan->keyFrames[1].frames, 50);
    const long long total = plan->totalFrames;
    EXPECT_EQ(total, ramp + 50 + plan->keyFrames[2].frames);

    const std::string text = formatMoviePlan(*plan);
    const std::string expectedStart = "keyframe\tfirst_frame\tframes\n1\t0\t" +
                                      std::to_string(ramp) + "\n2\t" + std::to_string(ramp) +
                                      "\t50\n";
    EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(text.find("# total frames\t" + std::to_string(total) + "\n"), std::string::npos);
    EXPECT_NE(text.find("# duration\t" + formatMovieTime(total, 25) + "\tat 25 fps\n"),
              std::string::npos);
    // 60 frames a file.
    ASSERT_EQ(plan->movieFiles.size(), static_cast<std::size_t>((total + 59) / 60));
    EXPECT_EQ(plan->movieFiles[0].name, "film.avi");
    EXPECT_EQ(plan->movieFiles[1].name, "film_01.avi");
    EXPECT_EQ(plan->movieFiles[1].firstFrame, 60);
    EXPECT_EQ(plan->movieFiles.back().frames, total - 60 * (plan->movieFiles.size() - 1));
    EXPECT_NE(text.find("# film_01.avi\t60\t60\n"), std::string::npos);
}

TEST_F(PlanTest, EveryFrameItsOwnFileAndNoKeyFrames) {
    settings.framesPerMovie = 0;
    settings.stopOnLastFrame = 1;
    settings.speedSpecs.clear();
    settings.speedSpecs.parse("0\t1", "\t", "\n");
    auto plan = planMovie(settings, 3, 0, kTimeTypeSpeed);
    ASSERT_TRUE(plan.has_value());
    ASSERT_EQ(plan->movieFiles.size(), 3u);
    EXPECT_EQ(plan->movieFiles[2].name, "film_02.avi");
    EXPECT_EQ(movieFileName(100), "film_100.avi");

    plan = planMovie(settings, 3, 7, kTimeTypeSpeed);  // start beyond the last key frame
    ASSERT_TRUE(plan.has_value());
    EXPECT_TRUE(plan->keyFrames.empty());
    EXPECT_EQ(formatMoviePlan(*plan),
              "keyframe\tfirst_frame\tframes\n# total frames\t0\n"
              "# duration\t00:00:00.000\tat 25 fps\n# movie files\t0\n");
}

TEST_F(PlanTest, LeftScrollingEndsKeyFramesOnItsPosition) {
    settings.speedSpecs.clear();
    settings.speedSpecs.parse("0\t10", "\t", "\n");
    settings.leftScrolling = 1;
    const auto plan = planMovie(settings, 3, 0, kTimeTypeSpeed);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->keyFrames[0].frames, 10);
    EXPECT_EQ(plan->keyFrames[1].frames, 10);
}

TEST(MovieLengthTest, EstimateFromTheSpeedList) {
    EXPECT_EQ(movieLengthEstimate({"0\t25", "2\t50"}, 4, 25), "00:00:06.000");
    // Lines in any order; the first speed 0 counts as 150.
    EXPECT_EQ(movieLengthEstimate({"2\t50", "0\t0"}, 3, 30), "00:00:11.666");
    EXPECT_EQ(movieLengthEstimate({}, 24, 1), "01:00:00.000");
    EXPECT_EQ(movieLengthEstimate({"0\t25"}, 0, 25), "");
    EXPECT_EQ(movieLengthEstimate({"0\t25"}, 3, 0), "");

    MemoryControls controls;
    controls.clearLines(kIdSpeedList);
    controls.addLine(kIdSpeedList, "0\t25");
    controls.addLine(kIdSpeedList, "2\t50");
    updateMovieLengthEstimate(controls, 4, 25);
    EXPECT_EQ(controls.text(kIdMovieLength), "00:00:06.000");
    // As the FPS hook: the record's key frame count and the FPS edit.
    movieSettings().keyFrameCount = 4;
    controls.setMovieLengthHook(recomputeMovieLengthEstimate);
    controls.setText(kIdFps, "50");
    EXPECT_EQ(controls.text(kIdMovieLength), "00:00:03.000");
}

}  // namespace
}  // namespace zr
