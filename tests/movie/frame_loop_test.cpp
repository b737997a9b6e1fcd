// The frame loop brought forward without pictures against a run that makes every picture.

#include "movie/frame_loop.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "keyframes/image_file.h"
#include "keyframes/key_frame_writer.h"
#include "keyframes/temp_folder.h"
#include "movie/frame_renderer.h"
#include "movie/movie_fixtures.h"
#include "movie/render_session.h"

namespace zr {
namespace {

using Random = std::mt19937;

}  // namespace

// A short description of a run's state in failures (the whole of it is thousands of bytes).
void PrintTo(const RunState& state, std::ostream* out) {
    *out << "{key frame " << state.counters.keyFrame << ", frame " << state.counters.framesCounted
         << ", cycle " << state.color.startCycle << ", rotation " << state.color.startRotation
         << ", division " << state.color.colorDivision << ", stretch " << state.color.stretchMin
         << ".." << state.color.stretchMax << ", texture fade " << state.texture.fade << "}";
}

namespace {

int between(Random& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}
bool chance(Random& random, double probability) {
    return std::bernoulli_distribution(probability)(random);
}
std::string number(Random& random, double low, double high) {
    return std::to_string(std::uniform_real_distribution<double>(low, high)(random));
}

constexpr int kWidth = 48;
constexpr int kHeight = 27;

// Key frames of kWidth x kHeight: a ramp of counts with noise, some pixels inside, and key colours
// of their own.
void writeKeyFrames(const testing::TempFolder& folder, int count, Random& random) {
    for (int i = 1; i <= count; ++i) {
        KeyFrameFileData data = KeyFrameFileData::uniform(kWidth, kHeight);
        const int base = between(random, 20, 400);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const bool inside = (x - 24) * (x - 24) + (y - 13) * (y - 13) < 9;
                data.setPixel(x, y, inside ? 2000 : base + x * 3 + y + between(random, 0, 5),
                              static_cast<float>(between(random, 0, 99)) / 100.0f);
            }
        }
        data.maxIteration = 2000;
        data.iterationDivision = between(random, 1, 4);
        data.keyColors.clear();
        for (int c = between(random, 2, 6); c > 0; --c) {
            data.keyColors.push_back(Bgr{static_cast<std::uint8_t>(between(random, 0, 255)),
                                         static_cast<std::uint8_t>(between(random, 0, 255)),
                                         static_cast<std::uint8_t>(between(random, 0, 255))});
        }
        ASSERT_TRUE(writeKeyFrameFile(
            folder.file("0000" + std::to_string(i) + "_1e" + std::to_string(i) + ".zmb"), data,
            nullptr));
    }
}

// Lines "key frame<TAB>value" for some of the key frames below `count`, in random order.
std::vector<std::string> randomRows(Random& random, int count, double chanceOfRow,
                                    const std::function<std::string()>& value) {
    std::vector<std::string> lines;
    for (int k = 0; k < count; ++k) {
        if (chance(random, chanceOfRow)) {
            lines.push_back(std::to_string(k) + "\t" + value());
        }
    }
    std::shuffle(lines.begin(), lines.end(), random);
    return lines;
}

// A movie of the folder's key frames with a random pick of everything that moves from frame to
// frame: speeds or time stamps, rotation with "R" rows, cycling, division and colour count rows,
// the Stretched and Distance methods and slopes, a texture folder, left scrolling, split files.
MovieSpec randomMovie(Random& random, const std::string& folder, int keyFrames,
                      const std::vector<std::string>& textures) {
    MovieSpec spec;
    spec.output.folderPattern = keyFramePattern(folder);
    spec.output.fps = between(random, 2, 12);
    spec.output.framesPerMovie = std::vector<int>{0, 1, 7, 25, 2000}[between(random, 0, 4)];
    spec.output.movieWidth = kWidth;
    spec.output.movieHeight = kHeight;
    spec.output.aspect43 = chance(random, 0.2);
    spec.zoom.zoomFactor = std::vector<double>{2.0, 2.0, 4.0, 1.5}[between(random, 0, 3)];
    spec.zoom.mergeCount = between(random, 1, 4);
    spec.zoom.frameByFrame = chance(random, 0.1);
    spec.zoom.stopOnLastFrame = chance(random, 0.3);
    spec.zoom.leftScrolling = chance(random, 0.2);
    spec.zoom.ellipticRegion = chance(random, 0.2);
    spec.zoomText.showZoomText = false;

    ColoringSpec& coloring = spec.coloring;
    coloring.colorMethod = between(random, 0, 5);
    coloring.smoothColoring = chance(random, 0.7);
    coloring.fixedColorCycling = chance(random, 0.3);
    coloring.slopes = chance(random, 0.3);
    coloring.slopePower = coloring.colorMethod == kDistance ? 1.0 : between(random, 1, 5);
    coloring.slopeRatio = between(random, 0, 80);

    spec.texture.texture = chance(random, 0.35);
    spec.texture.textureDepth = between(random, 0, 300);
    spec.texture.textureMerge = 0.5;
    spec.texture.textureFile = textures[static_cast<std::size_t>(between(random, 0, 2))];
    if (chance(random, 0.5)) {
        spec.texture.textureMulti = true;
        spec.texture.textureFiles = textures;
        spec.texture.textureFile = textures.front();
    }

    TimelineSpec& timeline = spec.timeline;
    timeline.timeType = static_cast<TimeType>(between(random, 0, 2));
    if (spec.zoom.frameByFrame) {
        timeline.timeType = kTimeTypeSpeed;
        timeline.speedSpecs = speedTrackOf({"0\t1"});
    } else if (timeline.timeType == kTimeTypeSpeed) {
        timeline.speedSpecs = speedTrackOf(randomRows(
            random, keyFrames, 0.5, [&] { return std::to_string(between(random, 1, 9)); }));
    } else {
        // Stamps that grow with the key frame numbers.
        std::vector<std::string> stamps;
        int seconds = 0;
        for (int k = 0; k <= keyFrames; ++k) {
            if (k == 0 || chance(random, 0.5)) {
                stamps.push_back(std::to_string(k) + "\t" + std::to_string(seconds));
            }
            seconds += between(random, 0, 3);
        }
        timeline.speedSpecs = speedTrackOf(stamps);
    }
    timeline.rotateSpecs = rotateTrackOf(randomRows(random, keyFrames, 0.3, [&] {
        return chance(random, 0.3) ? std::string("R") : number(random, -8, 8);
    }));
    timeline.cycleSpecs =
        cycleTrackOf(randomRows(random, keyFrames, 0.3, [&] { return number(random, -5, 5); }));
    timeline.divideSpecs =
        divideTrackOf(randomRows(random, keyFrames, 0.25, [&] { return number(random, -3, 6); }));
    timeline.colorCountSpecs = colorCountTrackOf(randomRows(
        random, keyFrames, 0.25, [&] { return std::to_string(between(random, -6, 6)); }));

    spec.start.startFrame = chance(random, 0.7) ? 0 : between(random, 1, 2);
    spec.start.startCycle = std::stod(number(random, -50, 50));
    spec.start.startRotation = chance(random, 0.5) ? 0.0 : std::stod(number(random, -90, 90));
    spec.start.rotationActive = !timeline.rotateSpecs.empty() || spec.start.startRotation != 0.0;
    spec.start.startIteration = chance(random, 0.7) ? 0 : between(random, 1, 300);
    return spec;
}

// Makes the pictures of every frame, as the render job does.
class Pictures : public RunHooks {
  public:
    explicit Pictures(FrameRenderer& renderer) : renderer_(renderer) {}
    void compose(const RunState& state) override { renderer_.compose(state); }
    void outputFrame(const RunState& state, const FrameView& view,
                     std::optional<double> column) override {
        renderer_.drawFrame(state, view, column);
    }

  private:
    FrameRenderer& renderer_;
};

TEST(FrameLoopTest, SeekingGivesTheStateOfARunThatMadeEveryPicture) {
    Random random(2024);
    const testing::TempFolder textures;
    std::vector<std::string> textureFiles;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        FrameImage picture(30, 20);
        for (std::size_t i = 0; i < picture.sizeBytes(); ++i) {
            picture.data()[i] = static_cast<std::uint8_t>(between(random, 0, 255));
        }
        textureFiles.push_back(textures.file(name));
        ASSERT_TRUE(savePng(picture, textureFiles.back(), nullptr));
    }
    int seeks = 0;
    for (int movie = 0; movie < 24; ++movie) {
        const testing::TempFolder folder;
        const int keyFrames = between(random, 3, 6);
        writeKeyFrames(folder, keyFrames, random);
        MovieRun run;
        run.spec = randomMovie(random, folder.path().string(), keyFrames, textureFiles);
        run.keyFrames = listRunKeyFrames(run.spec);
        ASSERT_EQ(run.keyFrameCount(), keyFrames);
        SCOPED_TRACE("movie " + std::to_string(movie));

        // The full run, with pictures; the state after each frame.
        RenderSession session;
        FrameRenderer renderer(run, session);
        Pictures pictures(renderer);
        FrameLoop::Options options;
        options.hooks = &pictures;
        FrameLoop full(run, session, options);
        RunState state;
        ASSERT_TRUE(full.start(state, ColorState{}));
        renderer.startRun(state);
        const long long planned = framesOfRun(run, session, state);
        std::vector<RunState> after{state};
        while (full.step(state, true)) {
            after.push_back(state);
        }
        ASSERT_EQ(static_cast<long long>(after.size()) - 1, planned);

        // Seeks to random frames, each in a session of its own.
        for (int i = 0; i < 4; ++i) {
            const long long frame = between(random, 0, static_cast<int>(after.size()) - 1);
            RenderSession fresh;
            FrameLoop loop(run, fresh);
            RunState sought;
            ASSERT_TRUE(loop.start(sought, ColorState{}));
            ASSERT_TRUE(loop.seek(sought, frame));
            ASSERT_EQ(sought, after[static_cast<std::size_t>(frame)]) << "frame " << frame;
            ++seeks;
        }
    }
    EXPECT_EQ(seeks, 96);
}

}  // namespace
}  // namespace zr
