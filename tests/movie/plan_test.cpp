#include "movie/plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "movie/movie_fixtures.h"
#include "movie/movie_length.h"
#include "movie/timeline.h"

namespace zr {
namespace {

struct PlanTest : ::testing::Test {
    MovieSpec spec;
    PlanTest() {
        spec.output.fps = 25;
        spec.output.movieWidth = 600;
        spec.output.movieHeight = 338;
        spec.timeline.speedSpecs = testing::speedsOf("0\t25\n2\t50");
    }
};

TEST_F(PlanTest, TableAndSummary) {
    spec.output.framesPerMovie = 200;
    spec.start.startFrame = 1;
    const auto plan = planMovie(spec, 4);
    ASSERT_TRUE(plan.has_value());
    // Key frame 1 ramps from 25 to 50: its view passes the next key frame's after 37 frames,
    // before the ramp's count of 38 is reached. The last key frame zooms on at 50 until its
    // view is narrower than 3 pixels each side.
    EXPECT_EQ(countFrames(25, 50, 2.0), 38);
    EXPECT_EQ(formatMoviePlan(*plan),
              "keyframe\tfirst_frame\tframes\n"
              "1\t0\t37\n"
              "2\t37\t50\n"
              "3\t87\t396\n"
              "# total frames\t483\n"
              "# duration\t00:00:19.320\tat 25 fps\n"
              "# movie files\t3\n"
              "# film.avi\t0\t200\n"
              "# film_01.avi\t200\t200\n"
              "# film_02.avi\t400\t83\n");
}

TEST_F(PlanTest, EveryFrameItsOwnFileAndNoKeyFrames) {
    spec.output.framesPerMovie = 0;
    spec.zoom.stopOnLastFrame = true;
    spec.timeline.speedSpecs = testing::speedsOf("0\t1");
    auto plan = planMovie(spec, 3);
    ASSERT_TRUE(plan.has_value());
    ASSERT_EQ(plan->movieFiles.size(), 3u);
    EXPECT_EQ(plan->movieFiles[2].name, "film_02.avi");
    EXPECT_EQ(movieFileName(100), "film_100.avi");

    // A long movie split after every frame lists its first files only.
    spec.timeline.speedSpecs = testing::speedsOf("0\t150000");
    plan = planMovie(spec, 2);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->movieFileCount, 150001);
    EXPECT_EQ(plan->movieFiles.size(), static_cast<std::size_t>(kMaxListedMovieFiles));
    const std::string text = formatMoviePlan(*plan);
    EXPECT_EQ(text.substr(text.size() - 19), "# more files\t50001\n");

    spec.start.startFrame = 7;  // beyond the last key frame
    plan = planMovie(spec, 3);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(formatMoviePlan(*plan),
              "keyframe\tfirst_frame\tframes\n# total frames\t0\n"
              "# duration\t00:00:00.000\tat 25 fps\n# movie files\t0\n");
}

TEST_F(PlanTest, SoundtrackAgainstTheMovieAndStampsAgainstTheirKeyFrames) {
    spec.output.framesPerMovie = 100;
    spec.output.folderPattern = "/films/*.zmb";
    spec.output.movieFile.path = "zoom.mp4";
    spec.output.movieFile.soundtrack = "music.ogg";
    auto plan = planMovie(spec, 4);  // 508 frames, 20.32 s
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->movieFiles[4].name, "zoom_04.mp4");
    struct Case {
        double offset, seconds;
        const char* plays;
    };
    for (const Case& c : {
             Case{0.0, 20.32, "00:00:00.000\tto\t00:00:20.320\tends with the movie"},
             Case{-5.0, 30.0,
                  "-00:00:05.000\tto\t00:00:25.000\tends 4.680 s after the movie: cut at the "
                  "movie's end with a fade-out"},
             Case{1.5, 3.25,
                  "00:00:01.500\tto\t00:00:04.750\tends 15.570 s before the movie: "
                  "silence after it"},
             Case{21.0, 3.0,
                  "00:00:21.000\tto\t00:00:24.000\tbegins after the movie ends: the "
                  "movie is silent"},
         }) {
        spec.output.movieFile.soundtrackOffset = c.offset;
        const std::string text = formatSoundtrackSync(*plan, spec, c.seconds);
        EXPECT_EQ(text.substr(0, text.find('\n') + 1),
                  "# soundtrack\t" +
                      formatMovieTime(static_cast<long long>(c.seconds * 1000), 1000) +
                      "\t/films/music.ogg\n");
        EXPECT_NE(text.find("# soundtrack plays\t" + std::string(c.plays) + "\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("# stamp"), std::string::npos);  // speeds, not time stamps
    }

    // Time stamps in the order the run takes them; one before "Start frame" is not in the movie.
    spec.timeline.timeType = kTimeTypeTimeNs;
    spec.timeline.speedSpecs = testing::speedsOf("2\t00:03\n0\t00:00\n1\t00:01");
    spec.start.startFrame = 1;
    plan = planMovie(spec, 4);
    ASSERT_TRUE(plan.has_value());
    const std::string text = formatSoundtrackSync(*plan, spec, 10.0);
    EXPECT_NE(text.find("# stamp\t0\t00:00:00.000\tnot in the movie\n"
                        "# stamp\t1\t00:00:01.000\tbegins\t00:00:00.000\t-1.000 s\n"
                        "# stamp\t2\t00:00:03.000\tbegins\t00:00:02.000\t-1.000 s\n"),
              std::string::npos)
        << text;
}

TEST(MovieLengthTest, EstimateFromTheSpeedList) {
    EXPECT_EQ(movieLengthEstimate({"0\t25", "2\t50"}, 4, 25), "00:00:06.000");
    // Lines in any order; a first speed of 0 counts as 150.
    EXPECT_EQ(movieLengthEstimate({"2\t50", "0\t0"}, 3, 30), "00:00:11.666");
    EXPECT_EQ(movieLengthEstimate({}, 24, 1), "01:00:00.000");
    EXPECT_EQ(movieLengthEstimate({"0\t25"}, 3, 0), "");
}

}  // namespace
}  // namespace zr

namespace zr {
namespace {

TEST(MoviePositionTest, FrameNumbersAndTimes) {
    struct Case {
        const char* text;
        long long frameAt30;  // -1: refused
    };
    const Case cases[] = {
        {"0", 0},
        {"1500", 1500},
        {"00:01", 30},
        {"01:30.5", 2715},
        {"1:00:00.000", 108000},
        {"00:00.033", 0},
        {"00:00.034", 1},
        {"0:59.999", 1799},
        {"12.5", -1},
        {"1:60", -1},
        {"1:2:3:4", -1},
        {"00:01.1234", -1},
        {"-3", -1},
        {"", -1},
        {"00:", -1},
        {"1e3", -1},
    };
    for (const Case& c : cases) {
        const std::optional<MoviePosition> position = readMoviePosition(c.text);
        if (c.frameAt30 < 0) {
            EXPECT_FALSE(position) << c.text;
        } else {
            ASSERT_TRUE(position) << c.text;
            EXPECT_EQ(frameAtPosition(*position, 30), c.frameAt30) << c.text;
        }
    }
}

}  // namespace
}  // namespace zr
