#include "output/soundtrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "output/avi_writer.h"
#include "output/movie_reader.h"
#include "output/movie_writer.h"
#include "support/frame_image.h"

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::DecodedSound;
using testing::decodeSound;
using testing::TempFolder;

constexpr int kRate = 48000;
constexpr int kFps = 25;

// A quiet hum with loud clicks at these times: the clicks show where the sound went, the hum
// shows the fade.
const std::vector<double> kClicks = {0.25, 1.1, 1.7};

std::vector<float> clickTrack(double seconds) {
    std::vector<float> samples(static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] =
            0.1f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 220.0 * i / kRate));
    }
    for (const double click : kClicks) {
        const auto first = static_cast<std::size_t>(click * kRate);
        for (std::size_t i = first; i < first + kRate / 200 && i < samples.size(); ++i) {
            samples[i] =
                0.9f *
                static_cast<float>(std::sin(2.0 * std::numbers::pi * 2000.0 * (i - first) / kRate));
        }
    }
    return samples;
}

// The times of the clicks in decoded sound: where it first rises above the hum after a quiet
// stretch.
std::vector<double> clickTimes(const DecodedSound& sound) {
    std::vector<double> times;
    std::size_t quietSince = 0;
    for (std::size_t i = 0; i < sound.samples.size(); ++i) {
        if (std::abs(sound.samples[i]) > 0.4f) {
            if (i - quietSince > static_cast<std::size_t>(sound.sampleRate / 20)) {
                times.push_back(sound.startSeconds + static_cast<double>(i) / sound.sampleRate);
            }
            quietSince = i;
        }
    }
    return times;
}

double rms(const DecodedSound& sound, double from, double to) {
    double sum = 0.0;
    const auto first =
        static_cast<std::size_t>(std::max(0.0, from - sound.startSeconds) * sound.sampleRate);
    const auto last =
        std::min(sound.samples.size(),
                 static_cast<std::size_t>((to - sound.startSeconds) * sound.sampleRate));
    for (std::size_t i = first; i < last; ++i) {
        sum += static_cast<double>(sound.samples[i]) * sound.samples[i];
    }
    return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0.0;
}

class SoundtrackTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_ERROR); }

    // A movie of `frames` small frames with the piece of soundtrack; the writer's error text.
    std::string writeMovie(const std::string& path, int frames,
                           const std::optional<SoundtrackPiece>& piece, bool* copied = nullptr) {
        VideoFormat format;
        std::string error;
        if (!chooseVideoFormat(path, {"", {}, "", ""}, format, error)) {
            return error;
        }
        if (format.codec->name == "h264") {
            format.preset = "ultrafast";
        } else {
            format.preset = "realtime";
        }
        MovieWriter writer(path, {format, kFps, piece});
        for (int i = 0; i < frames; ++i) {
            if (writer.writeFrame(FrameImage(64, 64)) != WriteStatus::kOk) {
                return writer.errorText();
            }
        }
        if (copied != nullptr) {
            *copied = writer.soundtrackCopied();
        }
        return writer.close() == WriteStatus::kOk ? std::string() : writer.errorText();
    }

    TempFolder folder;
};

TEST_F(SoundtrackTest, SoundIsCutToTheMovieInSyncAndFadesOut) {
    const std::string music = folder.file("clicks.wav");
    testing::writeWav(music, kRate, clickTrack(4.0));
    SoundtrackInfo info;
    std::string error;
    ASSERT_TRUE(probeSoundtrack(music, info, error)) << error;
    EXPECT_NEAR(4.0, info.seconds, 1e-3);

    struct Case {
        const char* name;
        double offset;
        const char* codec;
    };
    for (const Case c : {Case{"film.mp4", 0.0, "aac"}, Case{"film.webm", 0.5, "opus"},
                         Case{"film.mkv", -1.0, "opus"}, Case{"film.mov", 0.3, "aac"}}) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        SoundtrackPiece piece = soundtrackPieceFor(music, c.offset, 0, 3 * kFps, kFps, true);
        bool copied = true;
        ASSERT_EQ("", writeMovie(path, 3 * kFps, piece, &copied));
        EXPECT_FALSE(copied);

        const DecodedSound sound = decodeSound(path);
        ASSERT_EQ("", sound.error);
        EXPECT_EQ(c.codec, sound.codecName);
        EXPECT_NEAR(0.0, sound.startSeconds, 1e-3);
        EXPECT_NEAR(0.0, testing::decodeMovie(path).startSeconds, 1e-3);  // picture and sound
        EXPECT_NEAR(3.0, sound.startSeconds + sound.seconds(), 1.0 / kFps);
        std::vector<double> expected;
        for (const double click : kClicks) {
            if (click + c.offset >= 0.0 && click + c.offset < 2.5) {
                expected.push_back(click + c.offset);
            }
        }
        const std::vector<double> found = clickTimes(sound);
        ASSERT_EQ(expected.size(), found.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_NEAR(expected[i], found[i], 1024.0 / kRate);
        }
        // The hum fades out over the last second.
        EXPECT_LT(rms(sound, 2.97, 3.0), 0.2 * rms(sound, 1.8, 1.95));
    }
}

TEST_F(SoundtrackTest, SplitFilesCarryTheirOwnStretchAndPlayInSync) {
    const std::string music = folder.file("clicks.wav");
    testing::writeWav(music, kRate, clickTrack(4.0));
    const int frames[] = {37, 38};  // 1.48 s and 1.52 s
    std::vector<double> found;
    for (int file = 0; file < 2; ++file) {
        const std::string path = folder.file("film_0" + std::to_string(file) + ".mp4");
        const long long first = file == 0 ? 0 : frames[0];
        ASSERT_EQ("",
                  writeMovie(path, frames[file],
                             soundtrackPieceFor(music, 0.2, first, frames[file], kFps, file == 1)));
        const DecodedSound sound = decodeSound(path);
        ASSERT_EQ("", sound.error);
        EXPECT_NEAR(static_cast<double>(frames[file]) / kFps, sound.startSeconds + sound.seconds(),
                    1.0 / kFps);
        for (const double time : clickTimes(sound)) {
            found.push_back(time + static_cast<double>(first) / kFps);
        }
    }
    ASSERT_EQ(3u, found.size());
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(kClicks[i] + 0.2, found[i], 1024.0 / kRate);
    }
}

TEST_F(SoundtrackTest, SoundThatFitsIsCopiedAtItsOffset) {
    const std::string music = folder.file("short.wav");
    testing::writeWav(music, kRate, clickTrack(2.0));
    const std::string path = folder.file("film.mkv");
    bool copied = false;
    ASSERT_EQ("", writeMovie(path, 3 * kFps,
                             soundtrackPieceFor(music, 0.5, 0, 3 * kFps, kFps, true), &copied));
    EXPECT_TRUE(copied);
    const DecodedSound sound = decodeSound(path);
    EXPECT_EQ("pcm_s16le", sound.codecName);
    EXPECT_NEAR(0.5, sound.startSeconds, 1e-3);
    const std::vector<double> found = clickTimes(sound);
    ASSERT_EQ(kClicks.size(), found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_NEAR(kClicks[i] + 0.5, found[i], 1e-3);
    }
}

TEST_F(SoundtrackTest, UnreadableOrSilentFilesAreRefusedByName) {
    const std::string text = folder.file("notes.txt");
    std::ofstream(text) << "not a sound";
    const std::string pictureOnly = folder.file("picture.avi");
    {
        AviWriter writer(pictureOnly, 24, kFps, 1, 100, "DIB ");
        ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(FrameImage(16, 16)));
    }
    const std::string empty = folder.file("empty.wav");
    testing::writeWav(empty, kRate, {});
    struct Case {
        std::string path;
        const char* says;
    };
    for (const Case& c :
         {Case{text, "cannot be read"}, Case{folder.file("gone.ogg"), "cannot be read"},
          Case{pictureOnly, "holds no sound"}, Case{empty, "holds no sound"}}) {
        SoundtrackInfo info;
        std::string error;
        EXPECT_FALSE(probeSoundtrack(c.path, info, error)) << c.path;
        EXPECT_NE(std::string::npos, error.find("\"" + c.path + "\"")) << error;
        EXPECT_NE(std::string::npos, error.find(c.says)) << error;
        const std::string movie = folder.file("film.mp4");
        const std::string written =
            writeMovie(movie, 2, soundtrackPieceFor(c.path, 0.0, 0, 2, kFps, true));
        EXPECT_NE(std::string::npos, written.find(c.says)) << written;
        EXPECT_FALSE(fs::exists(movie));
    }
}

}  // namespace
}  // namespace zr
