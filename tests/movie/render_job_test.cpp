#include "movie/render_job.h"
#include "output/movie_files.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "coloring/render_key_frame.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_writer.h"
#include "movie/frame_loop.h"
#include "movie/frame_renderer.h"
#include "movie/frame_seeker.h"
#include "movie/movie_fixtures.h"
#include "movie/recording_host.h"
#include "movie/render_session.h"
#include "output/movie_file.h"
#include "output/movie_record.h"
#include "support/folder_lock.h"

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::RecordingHost;

// A folder of its own for one test, removed afterwards.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "zr_render_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

// The frames of a movie file, decoded to pictures.
struct DecodedMovie {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::vector<FrameImage> frames;
};

DecodedMovie decodeMovie(const std::string& path) {
    DecodedMovie movie;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0) {
        return movie;
    }
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> formatOwner(
        format, [](AVFormatContext* f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(format, nullptr) < 0) {
        return movie;
    }
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        return movie;
    }
    const AVCodecParameters* parameters = format->streams[stream]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> decoder(
        avcodec_alloc_context3(codec), [](AVCodecContext* c) { avcodec_free_context(&c); });
    if (codec == nullptr || !decoder ||
        avcodec_parameters_to_context(decoder.get(), parameters) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        return movie;
    }
    movie.width = parameters->width;
    movie.height = parameters->height;
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(),
                                                          [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(),
                                                       [](AVFrame* f) { av_frame_free(&f); });
    auto takeFrames = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            FrameImage picture(frame->width, frame->height);
            SwsContext* sws = sws_getContext(frame->width, frame->height,
                                             static_cast<AVPixelFormat>(frame->format),
                                             frame->width, frame->height, AV_PIX_FMT_BGR24,
                                             SWS_POINT, nullptr, nullptr, nullptr);
            std::uint8_t* planes[1] = {picture.data()};
            const int strides[1] = {picture.stride()};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
            sws_freeContext(sws);
            movie.frames.push_back(std::move(picture));
        }
    };
    while (av_read_frame(format, packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            avcodec_send_packet(decoder.get(), packet.get());
            takeFrames();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    takeFrames();
    movie.ok = true;
    return movie;
}

// Key frames 00001_1e1.zmb (deepest) ... 0000N_1eN.zmb (widest) of width x height pixels; the
// top half of each holds one count, the bottom half another, different for every key frame.
void writeKeyFrames(const TempFolder& folder, int count, int width, int height) {
    for (int i = 1; i <= count; ++i) {
        KeyFrameFileData data = KeyFrameFileData::uniform(width, height, 10 * i);
        for (int y = height / 2; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                data.setPixel(x, y, 10 * i + 300);
            }
        }
        data.keyColors = {Bgr{0, 0, 0}, Bgr{0, 0, 255}, Bgr{0, 255, 0}, Bgr{255, 0, 0}};
        data.maxIteration = 1000;
        std::string error;
        const std::string name = "0000" + std::to_string(i) + "_1e" + std::to_string(i) + ".zmb";
        ASSERT_TRUE(writeKeyFrameFile(folder.file(name), data, &error)) << error;
    }
}

class RenderJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        spec.output.folderPattern = folder.file("*.zmb");
        spec.output.movieWidth = 64;
        spec.output.movieHeight = 36;
        spec.output.fps = 25;
        spec.output.framesPerMovie = 1000;
        // Uncompressed frames decode to exactly the pixels made.
        spec.output.movieFile.codec = "DIB ";
        spec.zoom.mergeCount = 3;
        spec.zoom.zoomFactor = 2.0;
        spec.zoomText.showZoomText = false;
        spec.texture.texture = false;
        spec.timeline.speedSpecs = testing::speedsOf("0\t4");
    }
    std::vector<std::string> movieFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("film")) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder folder;
    RecordingHost host;
    RenderSession session;
    MovieSpec spec;
};

TEST_F(RenderJobTest, SplitsTheMovieIntoFilesOfFramesPerMovieFrames) {
    writeKeyFrames(folder, 3, 64, 36);
    spec.output.framesPerMovie = 5;
    // Coloured with its own key colours, as the run takes them from the widest key frame.
    ColorState color;
    takeKeyFrameHeader(*session.keyFrames().load(folder.file("00003_1e3.zmb")), color);
    const OptionalImage widest =
        renderKeyFrame(session.keyFrames(), folder.file("00003_1e3.zmb"),
                       makeColoringPlan(spec.coloring, spec.texture, color, nullptr, 1.0, 1.0));
    ASSERT_TRUE(widest);
    const RenderOutcome outcome = runRenderJob(spec, session, host);
    ASSERT_TRUE(outcome.done) << outcome.failure;
    EXPECT_TRUE(outcome.movieFailures.empty());
    EXPECT_EQ(host.endedCount, 1);
    // Key frames 0 and 1 show 4 frames each; the last zooms on until its view is 3 pixels wide.
    ASSERT_GT(outcome.framesCounted, 8 + 5);
    EXPECT_EQ(outcome.framesWritten, outcome.framesCounted);
    EXPECT_EQ(host.lastProgress, outcome.framesCounted);
    EXPECT_EQ(host.planned, outcome.framesCounted);

    const std::vector<std::string> files = movieFiles();
    const std::size_t expectedFiles = (outcome.framesCounted + 4) / 5;
    ASSERT_EQ(files.size(), expectedFiles);
    long long total = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "film_%02zu.avi", i);
        EXPECT_EQ(files[i], i == 0 ? std::string("film.avi") : std::string(name));
        const DecodedMovie movie = decodeMovie(folder.file(files[i]));
        ASSERT_TRUE(movie.ok) << files[i];
        EXPECT_EQ(movie.width, 64);
        EXPECT_EQ(movie.height, 36);
        if (i + 1 < files.size()) {
            EXPECT_EQ(movie.frames.size(), 5u) << files[i];
        }
        if (i == 0) {
            // Upright and in the key frame's colours: outside the middle, where deeper key
            // frames lie, the first frame is the widest key frame pixel for pixel (stretched to
            // twice the movie size and scaled back).
            ASSERT_FALSE(movie.frames.empty());
            for (const auto& [x, y] : {std::pair{3, 2}, std::pair{60, 5}, std::pair{3, 33}}) {
                EXPECT_EQ(std::memcmp(movie.frames[0].pixel(x, y), widest->pixel(x, y), 3), 0)
                    << x << "," << y;
            }
            EXPECT_NE(std::memcmp(movie.frames[0].pixel(3, 2), movie.frames[0].pixel(3, 33), 3), 0);
        }
        total += static_cast<long long>(movie.frames.size());
    }
    EXPECT_EQ(total, outcome.framesCounted);
    ASSERT_FALSE(host.statuses.empty());
    EXPECT_TRUE(host.statuses.back().starts_with("Done! M:")) << host.statuses.back();
}

TEST_F(RenderJobTest, RotationHalvesTheMovieAndDumpsItsFramesAspect43CutsItsMiddle) {
    writeKeyFrames(folder, 2, 64, 36);
    spec.start.rotationActive = true;
    spec.output.framesPerMovie = 3;
    spec.start.dumpImages = true;
    session.dumpImages = true;  // the "Dump images" switch of the run, set by its front end
    ASSERT_TRUE(runRenderJob(spec, session, host).done);
    DecodedMovie movie = decodeMovie(folder.file("film.avi"));
    ASSERT_TRUE(movie.ok);
    EXPECT_EQ(movie.width, 32);
    EXPECT_EQ(movie.height, 18);
    EXPECT_EQ(host.previewWidth, 32);
    // Frame F of movie file M is dumped as img_MMMM_FFF.jpg.
    EXPECT_TRUE(fs::exists(folder.file("img_0000_002.jpg")));
    EXPECT_FALSE(fs::exists(folder.file("img_0000_003.jpg")));
    EXPECT_TRUE(fs::exists(folder.file("img_0001_001.jpg")));

    for (const std::string& name : movieFiles()) {
        fs::remove(folder.file(name));
    }
    spec.start.rotationActive = false;
    spec.output.aspect43 = true;
    ASSERT_TRUE(runRenderJob(spec, session, host).done);
    movie = decodeMovie(folder.file("film.avi"));
    ASSERT_TRUE(movie.ok);
    EXPECT_EQ(movie.width, 48);
    EXPECT_EQ(movie.height, 36);
    EXPECT_EQ(host.previewWidth, 64);  // the preview shows the whole frame
}

TEST_F(RenderJobTest, ResumesAfterTheMovieFilesThatExist) {
    writeKeyFrames(folder, 3, 64, 36);
    // Files of 3 frames: key frame 1 (frames 4 to 7) begins in film_01.avi and ends in film_02.avi.
    spec.output.framesPerMovie = 3;
    const RenderOutcome full = runRenderJob(spec, session, host);
    ASSERT_TRUE(full.done);
    const std::vector<std::string> all = movieFiles();
    ASSERT_GE(all.size(), 4u);
    const DecodedMovie third = decodeMovie(folder.file("film_02.avi"));

    // Keep film.avi and film_01.avi, drop the rest, and run again.
    const auto keptTime = fs::last_write_time(folder.file("film.avi"));
    for (const std::string& name : all) {
        if (name != "film.avi" && name != "film_01.avi") {
            fs::remove(folder.file(name));
        }
    }
    RecordingHost second;
    const RenderOutcome resumed = runRenderJob(spec, session, second);
    ASSERT_TRUE(resumed.done);
    EXPECT_EQ(resumed.framesCounted, full.framesCounted);
    EXPECT_EQ(resumed.framesWritten, full.framesCounted - 6);
    EXPECT_EQ(second.previews, full.framesCounted - 6);
    EXPECT_EQ(movieFiles(), all);
    EXPECT_EQ(fs::last_write_time(folder.file("film.avi")), keptTime);
    const DecodedMovie again = decodeMovie(folder.file("film_02.avi"));
    ASSERT_TRUE(again.ok);
    ASSERT_EQ(again.frames.size(), third.frames.size());
    for (std::size_t i = 0; i < again.frames.size(); ++i) {
        EXPECT_EQ(again.frames[i], third.frames[i]) << "frame " << i;
    }

    // With every file there, a run writes nothing.
    RecordingHost thirdRun;
    const RenderOutcome nothing = runRenderJob(spec, session, thirdRun);
    EXPECT_EQ(nothing.framesWritten, 0);
    EXPECT_EQ(thirdRun.previews, 0);
}

TEST_F(RenderJobTest, KeepsAFileOnlyWhenItsRecordShowsTheSameMovie) {
    writeKeyFrames(folder, 3, 64, 36);
    spec.output.framesPerMovie = 3;
    const RenderOutcome full = runRenderJob(spec, session, host);
    ASSERT_TRUE(full.done);
    const std::vector<std::string> all = movieFiles();
    ASSERT_GE(all.size(), 4u);
    for (std::size_t i = 0; i < all.size(); ++i) {
        const MovieRecordReading reading = readMovieRecord(folder.file(all[i]));
        ASSERT_TRUE(reading.record) << all[i];
        EXPECT_EQ(reading.record->index, static_cast<int>(i));
        EXPECT_EQ(reading.record->files, static_cast<int>(all.size()));
        EXPECT_EQ(reading.record->written, reading.record->frames);
        EXPECT_EQ(reading.record->frames,
                  i + 1 < all.size() ? 3 : (full.framesCounted - 1) % 3 + 1);
        EXPECT_EQ(reading.record->total, full.framesCounted);
    }

    // The same movie again: every file is kept, and said so.
    RecordingHost same;
    EXPECT_EQ(runRenderJob(spec, session, same).framesWritten, 0);
    EXPECT_EQ(same.kept.size(), all.size());
    EXPECT_TRUE(same.remade.empty());

    // A file of another place in the movie under this name is made again, the others kept.
    fs::copy_file(folder.file("film_02.avi"), folder.file("film_01.avi"),
                  fs::copy_options::overwrite_existing);
    RecordingHost swapped;
    EXPECT_EQ(runRenderJob(spec, session, swapped).framesWritten, 3);
    ASSERT_EQ(swapped.remade.size(), 1u);
    EXPECT_EQ(swapped.remade[0].path, folder.file("film_01.avi"));
    EXPECT_EQ(swapped.kept.size(), all.size() - 1);

    // Other settings: every file is made again, in the new settings.
    spec.output.fps = 12;
    RecordingHost changed;
    const RenderOutcome remade = runRenderJob(spec, session, changed);
    EXPECT_EQ(remade.framesWritten, remade.framesCounted);
    ASSERT_EQ(changed.remade.size(), all.size());
    EXPECT_EQ(changed.remade[0].reason, FileRemadeReason::kOtherSettings);
    EXPECT_TRUE(changed.kept.empty());

    // A fresh run makes every file of ours again.
    ExistingFilePolicy fresh;
    fresh.fresh = true;
    RecordingHost again;
    EXPECT_EQ(runRenderJob(spec, session, again, std::nullopt, fresh).framesWritten,
              remade.framesCounted);
    ASSERT_EQ(again.remade.size(), all.size());
    EXPECT_EQ(again.remade[0].reason, FileRemadeReason::kFresh);
}

TEST_F(RenderJobTest, OutputNamesAreCheckedBeforeTheFirstFrame) {
    writeKeyFrames(folder, 2, 64, 36);
    spec.output.framesPerMovie = 3;
    // A link at a marker's name would send the marker text into what it points to.
    std::ofstream(folder.file("target")) << "keep";
    fs::create_symlink(folder.file("target"), folder.file("film_01.avi.unfinished"));
    RenderOutcome outcome = runRenderJob(spec, session, host);
    EXPECT_EQ(outcome.failureKind, RunFailureKind::kOutputPath);
    EXPECT_NE(outcome.failure.find("film_01.avi.unfinished"), std::string::npos);
    EXPECT_EQ(outcome.framesWritten, 0);
    EXPECT_TRUE(movieFiles() == std::vector<std::string>{"film_01.avi.unfinished"});
    fs::remove(folder.file("film_01.avi.unfinished"));

    // A folder at a movie file's name.
    fs::create_directory(folder.file("film_01.avi"));
    outcome = runRenderJob(spec, session, host);
    EXPECT_EQ(outcome.failureKind, RunFailureKind::kOutputPath);
    EXPECT_EQ(outcome.framesWritten, 0);
    fs::remove(folder.file("film_01.avi"));

    // A second render of the folder while one holds it.
    FolderLock other;
    std::string error;
    ASSERT_TRUE(other.tryLock(folder.path().string(), kRenderLockName, error)) << error;
    outcome = runRenderJob(spec, session, host);
    EXPECT_EQ(outcome.failureKind, RunFailureKind::kFolderBusy);
    EXPECT_NE(outcome.failure.find("another render of this folder is running (pid "),
              std::string::npos)
        << outcome.failure;
    EXPECT_TRUE(movieFiles().empty());
}

TEST_F(RenderJobTest, TestOnlyWritesNothingAndSkipRenderComposesNothing) {
    writeKeyFrames(folder, 3, 64, 36);
    spec.output.framesPerMovie = 3;
    spec.output.testOnly = true;
    const RenderOutcome tested = runRenderJob(spec, session, host);
    ASSERT_TRUE(tested.done);
    EXPECT_TRUE(movieFiles().empty());
    EXPECT_EQ(tested.framesWritten, 0);
    EXPECT_EQ(host.previews, tested.framesCounted);
    // The split counters still run: the last status names the file the frames would be in.
    EXPECT_TRUE(host.statuses.back().starts_with(
        "Done! M:" + std::to_string(tested.framesCounted / 3) + ","))
        << host.statuses.back();

    // "Test only" with "Skip render": no picture at all, the key frame times in "Debug" boxes.
    spec.output.skipRender = true;
    spec.timeline.speedSpecs = testing::speedsOf("0\t25\n1\t25");
    RecordingHost skipping;
    const RenderOutcome skipped = runRenderJob(spec, session, skipping);
    ASSERT_TRUE(skipped.done);
    EXPECT_EQ(skipping.previews, 0);
    EXPECT_TRUE(movieFiles().empty());
    ASSERT_EQ(skipping.debugTexts.size(), 2u);
    EXPECT_EQ(skipping.debugTexts[0], "Frame: 0\nTime: 00:00:00.000");
    EXPECT_EQ(skipping.debugTexts[1], "Frame: 1\nTime: 00:00:01.000");  // 25 frames at 25 fps
}

TEST_F(RenderJobTest, AStopRequestFinishesTheCurrentFile) {
    writeKeyFrames(folder, 3, 64, 36);
    host.onProgress = [this](long long done) {
        if (done == 3) {
            session.requestStop();
        }
    };
    const RenderOutcome outcome = runRenderJob(spec, session, host);
    EXPECT_TRUE(outcome.done);
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.framesCounted, 3);
    EXPECT_EQ(outcome.shortMovie, folder.file("film.avi"));
    EXPECT_EQ(outcome.shortMovieFrames, 3);
    EXPECT_GT(outcome.shortMovieFramesDue, 8);
    EXPECT_TRUE(outcome.noFrameReason.empty());
    const DecodedMovie movie = decodeMovie(folder.file("film.avi"));
    ASSERT_TRUE(movie.ok);
    EXPECT_EQ(movie.frames.size(), 3u);
    EXPECT_EQ(host.endedCount, 1);
    // Marked as short, so nothing takes it for complete; the mark goes with the whole file.
    EXPECT_TRUE(host.filesDone.empty());
    EXPECT_TRUE(fs::exists(unfinishedMarkerPath(folder.file("film.avi"))));

    // The stopped file plays but is short: the next run writes it again, whole, and a file
    // that is no movie at all is written again too.
    session.clearStop();
    RecordingHost again;
    const RenderOutcome resumed = runRenderJob(spec, session, again);
    ASSERT_TRUE(resumed.done);
    EXPECT_EQ(resumed.framesWritten, resumed.framesCounted);
    EXPECT_EQ(decodeMovie(folder.file("film.avi")).frames.size(),
              static_cast<std::size_t>(resumed.framesCounted));
    EXPECT_FALSE(fs::exists(unfinishedMarkerPath(folder.file("film.avi"))));

    // A file that is no movie of ours is not replaced unless that is allowed.
    std::ofstream(folder.file("film.avi")) << "no movie";
    RecordingHost third;
    const RenderOutcome refused = runRenderJob(spec, session, third);
    EXPECT_EQ(refused.failureKind, RunFailureKind::kForeignFile);
    EXPECT_EQ(refused.framesWritten, 0);
    EXPECT_EQ(fs::file_size(folder.file("film.avi")), 8u);
    ExistingFilePolicy overwrite;
    overwrite.overwrite = true;
    EXPECT_EQ(runRenderJob(spec, session, third, std::nullopt, overwrite).framesWritten,
              resumed.framesCounted);
}

TEST_F(RenderJobTest, AMovieFileThatCannotBeCreatedIsReportedAndStopsTheRender) {
    writeKeyFrames(folder, 2, 64, 36);
    spec.output.framesPerMovie = 2;
    // A folder (not empty, so it is not cleared away) where the first file is written makes its
    // creation fail.
    const std::string partial = partialMovieName(folder.file("film.avi"));
    fs::create_directory(partial);
    std::ofstream(partial + "/keep") << "x";
    const RenderOutcome outcome = runRenderJob(spec, session, host);
    ASSERT_TRUE(outcome.done);
    ASSERT_EQ(outcome.movieFailures.size(), 1u);
    EXPECT_EQ(outcome.movieFailures[0].file, folder.file("film.avi"));
    EXPECT_FALSE(outcome.movieFailures[0].reason.empty());
    EXPECT_TRUE(outcome.movieNotCreated);
    EXPECT_FALSE(outcome.stopped);
    // Every later file would fail alike: no frame is composed past the first.
    EXPECT_FALSE(fs::exists(folder.file("film.avi")));
    EXPECT_FALSE(fs::exists(folder.file("film_01.avi")));
    EXPECT_EQ(outcome.framesWritten, 0);
    EXPECT_EQ(outcome.framesCounted, 1);
    const std::string& done = host.statuses.back();
    EXPECT_TRUE(done.ends_with(outcome.movieFailures[0].reason)) << done;
}

TEST_F(RenderJobTest, RunsThatMakeNoFrames) {
    const RenderOutcome empty = runRenderJob(spec, session, host);
    EXPECT_FALSE(empty.done);
    EXPECT_EQ(empty.failure, "Invalid Folder");
    EXPECT_EQ(host.statuses.back(), "Invalid Folder");
    EXPECT_EQ(host.endedCount, 1);
    EXPECT_TRUE(movieFiles().empty());

    writeKeyFrames(folder, 2, 64, 36);
    RecordingHost late;
    spec.start.startFrame = 7;
    const RenderOutcome none = runRenderJob(spec, session, late);
    EXPECT_TRUE(none.done);
    EXPECT_EQ(none.framesCounted, 0);
    EXPECT_TRUE(movieFiles().empty());
    EXPECT_TRUE(late.statuses.back().starts_with("Done! M:0,P:7,F:0,")) << late.statuses.back();
    EXPECT_NE(none.noFrameReason.find("start frame 7 lies past the last key frame, 1"),
              std::string::npos)
        << none.noFrameReason;
    EXPECT_TRUE(late.statuses.back().ends_with("(no frame: " + none.noFrameReason + ")"));
    spec.start.startFrame = 0;
    spec.output.movieWidth = 0;
    EXPECT_NE(runRenderJob(spec, session, late).noFrameReason.find("too small"), std::string::npos);

    // Zoom factor 16 on a 1920 x 1080 movie would need a composed picture of 1.6 GB.
    spec.zoom.zoomFactor = 16.0;
    spec.output.movieWidth = 1920;
    spec.output.movieHeight = 1080;
    RecordingHost large;
    const RenderOutcome refused = runRenderJob(spec, session, large);
    EXPECT_FALSE(refused.done);
    EXPECT_TRUE(refused.failure.starts_with("Movie too large")) << refused.failure;
    EXPECT_EQ(large.statuses.back(), refused.failure);
    EXPECT_EQ(large.endedCount, 1);
    EXPECT_TRUE(movieFiles().empty());
}

TEST_F(RenderJobTest, AnUnreadableWidestKeyFrameGivesBlackFramesAndTheRunGoesOn) {
    writeKeyFrames(folder, 2, 64, 36);
    std::ofstream(folder.file("00003_1e3.zmb")) << "not a key frame";
    const RenderOutcome outcome = runRenderJob(spec, session, host);
    ASSERT_TRUE(outcome.done);
    const DecodedMovie movie = decodeMovie(folder.file("film.avi"));
    ASSERT_TRUE(movie.ok);
    ASSERT_GT(movie.frames.size(), 4u);
    EXPECT_EQ(movie.frames.front(), FrameImage(64, 36));  // key frame 0 has no picture
    EXPECT_NE(movie.frames.back(), FrameImage(64, 36));
}

TEST_F(RenderJobTest, KeyFrameLinksThatLeadNowhereAndMissingTexturesAreNamed) {
    writeKeyFrames(folder, 2, 64, 36);
    fs::create_symlink(folder.file("gone.zmb"), folder.file("00003_1e3.zmb"));
    fs::create_symlink(folder.file("00004_1e4.zmb"), folder.file("00004_1e4.zmb"));
    spec.texture.texture = true;
    spec.texture.textureFile = folder.file("missing.jpg");
    const RenderOutcome outcome = runRenderJob(spec, session, host);
    ASSERT_TRUE(outcome.done);
    // Both links count as key frames (the widest two), and each is named with why it failed.
    ASSERT_EQ(outcome.unusableKeyFrames.size(), 2u);
    std::vector<std::string> named;
    for (const KeyFrameReadError& error : outcome.unusableKeyFrames) {
        named.push_back(fs::path(error.path).filename().string());
        EXPECT_FALSE(error.detail.empty());
    }
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, (std::vector<std::string>{"00003_1e3.zmb", "00004_1e4.zmb"}));
    EXPECT_EQ(outcome.textureProblem, "texture file \"" + folder.file("missing.jpg") +
                                          "\" cannot be read: No such file or directory");
    EXPECT_NE(host.statuses.back().find(outcome.textureProblem), std::string::npos);
}

// Everything a run changes from frame to frame at once: cycling, a Stretched colour range,
// rotation with an "R" row, the zoom text and a texture folder that fades from picture to picture.
void useEveryChange(MovieSpec& spec, const TempFolder& folder) {
    spec.timeline.speedSpecs = testing::speedsOf("0\t5\n2\t7");
    spec.timeline.cycleSpecs = testing::cyclesOf("0\t1.5\n1\t-2");
    spec.timeline.rotateSpecs = testing::rotationsOf("0\t4\n1\tR");
    spec.start.rotationActive = true;
    spec.coloring.colorMethod = kStretched;
    spec.zoomText.showZoomText = true;
    fs::create_directories(folder.path() / "textures");
    spec.texture.texture = true;
    spec.texture.textureMerge = 0.4;
    spec.texture.textureDepth = 64;
    for (int i = 0; i < 2; ++i) {
        FrameImage picture(20, 12);
        std::memset(picture.data(), 60 + 120 * i, picture.sizeBytes());
        spec.texture.textureFiles.push_back(folder.file("textures/t" + std::to_string(i) + ".png"));
        ASSERT_TRUE(savePng(picture, spec.texture.textureFiles.back(), nullptr));
    }
    spec.texture.textureMulti = true;
    spec.texture.textureFile = spec.texture.textureFiles.front();
}

TEST_F(RenderJobTest, AnyFrameMadeAloneIsTheFrameTheRunWrites) {
    writeKeyFrames(folder, 3, 64, 36);
    useEveryChange(spec, folder);
    const RenderOutcome outcome = runRenderJob(spec, session, host);
    ASSERT_TRUE(outcome.done);
    const DecodedMovie movie = decodeMovie(folder.file("film.avi"));
    ASSERT_TRUE(movie.ok);
    ASSERT_EQ(static_cast<long long>(movie.frames.size()), outcome.framesCounted);

    MovieRun run;
    run.spec = spec;
    run.keyFrames = listRunKeyFrames(spec);
    const long long last = outcome.framesCounted - 1;
    for (const long long frame : {0LL, 1LL, 6LL, 13LL, last / 2, last}) {
        RenderSession alone;
        const OptionalImage picture = renderMovieFrame(run, alone, frame);
        ASSERT_TRUE(picture) << "frame " << frame;
        EXPECT_EQ(*picture, movie.frames[static_cast<std::size_t>(frame)]) << "frame " << frame;
    }
    RenderSession alone;
    EXPECT_FALSE(renderMovieFrame(run, alone, outcome.framesCounted));
}

// One seeker jumping back and forth, given up part way, and after walking every key frame, makes
// each frame as the run writes it.
TEST_F(RenderJobTest, ASeekerMakesFramesInAnyOrderAsTheRunWritesThem) {
    writeKeyFrames(folder, 3, 64, 36);
    useEveryChange(spec, folder);
    const RenderOutcome outcome = runRenderJob(spec, session, host);
    ASSERT_TRUE(outcome.done);
    const DecodedMovie movie = decodeMovie(folder.file("film.avi"));
    ASSERT_TRUE(movie.ok);

    MovieRun run;
    run.spec = spec;
    run.keyFrames = listRunKeyFrames(spec);
    RenderSession alone;
    FrameSeeker seeker(run, alone);
    ASSERT_TRUE(seeker.start());
    const long long last = outcome.framesCounted - 1;
    ASSERT_EQ(seeker.frameCount(), outcome.framesCounted);
    ASSERT_EQ(seeker.keyFrameStarts().size(), 3u);
    EXPECT_EQ(seeker.keyFrameStarts().front(), 0);

    const auto matches = [&](long long frame) {
        const auto made = seeker.frame(frame);
        return made && *made->movieFile == movie.frames[static_cast<std::size_t>(frame)];
    };
    int steps = 0;
    EXPECT_FALSE(seeker.frame(last, [&] { return ++steps > 3; }));
    for (const long long frame : {last, 0LL, last / 2, 6LL, 7LL, 7LL, 1LL, 13LL, last - 1}) {
        EXPECT_TRUE(matches(frame)) << "frame " << frame;
    }
    EXPECT_TRUE(seeker.walkKeyFrames());
    for (const long long frame : {last / 3, 2LL, last, 0LL}) {
        EXPECT_TRUE(matches(frame)) << "frame " << frame;
    }
    EXPECT_FALSE(seeker.frame(last + 1));
}

// A resumed render brings the run past the files that exist without making their frames, and
// goes on with the colours, rotation and texture the skipped frames would have left.
TEST_F(RenderJobTest, ResumedFilesGoOnExactlyWhereTheKeptOnesEnd) {
    writeKeyFrames(folder, 3, 64, 36);
    useEveryChange(spec, folder);
    spec.output.framesPerMovie = 4;
    ASSERT_TRUE(runRenderJob(spec, session, host).done);
    const std::vector<std::string> files = movieFiles();
    ASSERT_GE(files.size(), 5u);
    std::vector<DecodedMovie> full;
    for (const std::string& name : files) {
        full.push_back(decodeMovie(folder.file(name)));
    }

    fs::remove(folder.file(files[1]));
    fs::remove(folder.file(files[3]));
    RecordingHost again;
    RenderSession another;
    const RenderOutcome resumed = runRenderJob(spec, another, again);
    ASSERT_TRUE(resumed.done);
    EXPECT_EQ(resumed.moviesWritten,
              (std::vector<std::string>{folder.file(files[1]), folder.file(files[3])}));
    for (const std::size_t i : {1u, 3u}) {
        const DecodedMovie movie = decodeMovie(folder.file(files[i]));
        ASSERT_TRUE(movie.ok);
        ASSERT_EQ(movie.frames.size(), full[i].frames.size());
        for (std::size_t f = 0; f < movie.frames.size(); ++f) {
            EXPECT_EQ(movie.frames[f], full[i].frames[f]) << files[i] << " frame " << f;
        }
    }
}

// Movie files made alone, as one machine of many makes its share of a movie, are the files of a
// whole run frame for frame: at the start, in the middle and at the end of a movie with time
// stamps, cycling, a Stretched colour range, rotation and a texture.
TEST_F(RenderJobTest, FilesMadeAloneAreTheFilesOfAWholeRun) {
    writeKeyFrames(folder, 4, 64, 36);
    useEveryChange(spec, folder);
    spec.timeline.timeType = kTimeTypeTime;
    spec.timeline.speedSpecs = testing::speedsOf("0\t0\n2\t1\n3\t3");
    spec.output.framesPerMovie = 7;
    ASSERT_TRUE(runRenderJob(spec, session, host).done);
    const std::vector<std::string> names = movieFiles();
    const int count = static_cast<int>(names.size());
    ASSERT_GE(count, 8);
    std::vector<DecodedMovie> whole;
    for (const std::string& name : names) {
        whole.push_back(decodeMovie(folder.file(name)));
        fs::remove(folder.file(name));
    }

    for (const MovieFileRange range :
         {MovieFileRange{0, 1}, MovieFileRange{count / 2, count / 2}, {count - 2, count - 1}}) {
        SCOPED_TRACE(std::to_string(range.first) + "-" + std::to_string(range.last));
        RenderSession alone;
        RecordingHost quiet;
        const RenderOutcome outcome = runRenderJob(spec, alone, quiet, range);
        ASSERT_TRUE(outcome.done) << outcome.failure;
        const std::vector<std::string> expected(names.begin() + range.first,
                                                names.begin() + range.last + 1);
        ASSERT_EQ(movieFiles(), expected);
        EXPECT_EQ(quiet.planned, outcome.framesWritten);
        for (int i = range.first; i <= range.last; ++i) {
            const DecodedMovie movie = decodeMovie(folder.file(names[i]));
            ASSERT_EQ(movie.frames.size(), whole[i].frames.size()) << names[i];
            for (std::size_t f = 0; f < movie.frames.size(); ++f) {
                EXPECT_EQ(movie.frames[f], whole[i].frames[f]) << names[i] << " frame " << f;
            }
        }
        // Made again, the complete files are kept.
        RenderSession again;
        EXPECT_TRUE(runRenderJob(spec, again, quiet, range).moviesWritten.empty());
        for (const std::string& name : expected) {
            fs::remove(folder.file(name));
        }
    }

    RecordingHost refused;
    const RenderOutcome past =
        runRenderJob(spec, session, refused, MovieFileRange{count - 1, count});
    EXPECT_EQ(past.failureKind, RunFailureKind::kFilesPastEnd);
    EXPECT_NE(past.failure.find("has " + std::to_string(count)), std::string::npos) << past.failure;
    EXPECT_TRUE(movieFiles().empty());
}

TEST_F(RenderJobTest, TwoSessionsRenderTwoFoldersAtOnceAsEachAlone) {
    TempFolder second;
    writeKeyFrames(folder, 3, 64, 36);
    writeKeyFrames(second, 4, 48, 32);
    MovieSpec other = spec;
    other.output.folderPattern = second.file("*.zmb");
    other.output.movieWidth = 48;
    other.output.movieHeight = 32;
    other.output.framesPerMovie = 6;
    useEveryChange(other, second);
    spec.timeline.cycleSpecs = testing::cyclesOf("0\t0.7");
    spec.coloring.colorMethod = kDistance;

    // The movie files of a folder (by name), taken away.
    const auto bytesOf = [](const TempFolder& where) {
        std::map<std::string, std::vector<char>> movies;
        for (const auto& entry : fs::directory_iterator(where.path())) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("film")) {
                std::ifstream in(entry.path(), std::ios::binary);
                movies[name].assign(std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>());
            }
        }
        for (const auto& [name, bytes] : movies) {
            fs::remove(where.path() / name);
        }
        return movies;
    };
    RenderSession one;
    RenderSession two;
    RecordingHost hostOne;
    RecordingHost hostTwo;
    ASSERT_TRUE(runRenderJob(spec, one, hostOne).done);
    ASSERT_TRUE(runRenderJob(other, two, hostTwo).done);
    const auto aloneOne = bytesOf(folder);
    const auto aloneTwo = bytesOf(second);
    ASSERT_FALSE(aloneOne.empty());
    ASSERT_GT(aloneTwo.size(), 1u);

    RenderSession three;
    RenderSession four;
    RecordingHost hostThree;
    RecordingHost hostFour;
    std::thread first([&] { EXPECT_TRUE(runRenderJob(spec, three, hostThree).done); });
    std::thread other_([&] { EXPECT_TRUE(runRenderJob(other, four, hostFour).done); });
    first.join();
    other_.join();
    EXPECT_TRUE(bytesOf(folder) == aloneOne);
    EXPECT_TRUE(bytesOf(second) == aloneTwo);
}

}  // namespace
}  // namespace zr
