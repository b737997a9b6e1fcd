#include "output/movie_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "output/avi_writer.h"
#include "output/movie_format.h"
#include "output/movie_reader.h"
#include "support/frame_image.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
}

namespace zr {
namespace {

namespace fs = std::filesystem;
using testing::decodeMovie;
using testing::TempFolder;

// Four flat quadrants whose grey one brightens with the frame number.
std::array<std::uint8_t, 3> quadrantColor(int quadrant, int frameNumber) {
    constexpr std::array<std::uint8_t, 3> kColors[3] = {
        {30, 40, 200}, {40, 190, 50}, {200, 60, 40}};
    const auto grey = static_cast<std::uint8_t>(50 + 40 * frameNumber);
    return quadrant < 3 ? kColors[quadrant] : std::array<std::uint8_t, 3>{grey, grey, grey};
}

FrameImage quadrantFrame(int width, int height, int frameNumber) {
    FrameImage frame(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int quadrant = (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
            std::memcpy(frame.pixel(x, y), quadrantColor(quadrant, frameNumber).data(), 3);
        }
    }
    return frame;
}

VideoFormat formatFor(const std::string& path, VideoRequest request) {
    VideoFormat format;
    std::string error;
    EXPECT_TRUE(chooseVideoFormat(path, request, format, error)) << error;
    return format;
}

// Writes `frames` quadrant frames; returns the writer's error text, empty on success.
std::string writeMovie(const std::string& path, const VideoFormat& format, int frames, int width,
                       int height, int framesPerSecond = 25) {
    MovieWriter writer(path, {format, framesPerSecond, std::nullopt});
    for (int i = 0; i < frames; ++i) {
        if (writer.writeFrame(quadrantFrame(width, height, i)) != WriteStatus::kOk) {
            return writer.errorText();
        }
    }
    return writer.close() == WriteStatus::kOk ? std::string() : writer.errorText();
}

class MovieFormatTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_ERROR); }
};

TEST_F(MovieFormatTest, DefaultsSuitEachContainer) {
    const VideoFormat mp4 = formatFor("/m/film.MP4", {});
    EXPECT_EQ("h264", mp4.codec->name);
    EXPECT_EQ(23, mp4.crf);
    EXPECT_EQ("medium", mp4.preset);
    EXPECT_EQ(AV_PIX_FMT_YUV420P, mp4.pixelFormat);
    EXPECT_EQ("vp9", formatFor("film.webm", {}).codec->name);
    const VideoFormat prores = formatFor("film.mov", {"prores", {}, "", "yuv444p10"});
    EXPECT_EQ("4444", prores.preset);  // the profile that codes 4:4:4
    EXPECT_EQ(10, prores.bitDepth);
    const VideoFormat ffv1 = formatFor("film.mkv", {"FFV1", {}, "", ""});
    EXPECT_EQ(ColorModel::kRgb, ffv1.colorModel);
    EXPECT_EQ(-1, ffv1.crf);
}

TEST_F(MovieFormatTest, RefusedChoicesNameTheFileAndWhatToDo) {
    struct Case {
        const char* path;
        VideoRequest request;
        const char* hint;  // part of what the message tells the user to do
    };
    const Case cases[] = {
        {"film.flv", {}, "MP4 (.mp4)"},
        {"film.avi", {"", 20, "", ""}, "--quality"},
        {"film.mp4", {"vp9", {}, "", ""}, "h264, h265, av1"},
        {"film.webm", {"h264", {}, "", ""}, "vp9"},
        {"film.mp4", {"h264", 52, "", ""}, "0 (best) to 51"},
        {"film.mkv", {"ffv1", 10, "", ""}, "every pixel"},
        {"film.mkv", {"h265", {}, "quick", ""}, "ultrafast"},
        {"film.mkv", {"ffv1", {}, "fast", ""}, "no presets"},
        {"film.mp4", {"av1", {}, "", "yuv444p"}, "yuv420p10le"},
        {"film.mp4", {"h264", {}, "", "rainbow"}, "--pix-fmt"},
        {"film.mov", {"prores", {}, "4444", "yuv422p10"}, "--pix-fmt yuv444p10le"},
    };
    for (const Case& c : cases) {
        VideoFormat format;
        std::string error;
        EXPECT_FALSE(chooseVideoFormat(c.path, c.request, format, error)) << c.path;
        EXPECT_NE(std::string::npos, error.find(std::string("\"") + c.path + "\"")) << error;
        EXPECT_NE(std::string::npos, error.find(c.hint)) << error;
    }
    const VideoFormat h264 = formatFor("film.mp4", {});
    EXPECT_NE(std::string::npos, frameSizeProblem(h264, 65, 48).find("yuv444p"));
    EXPECT_EQ("", frameSizeProblem(formatFor("film.mp4", {"h264", {}, "", "yuv444p"}), 65, 47));
    EXPECT_NE(std::string::npos,
              frameSizeProblem(formatFor("film.mp4", {"av1", {}, "", ""}), 640, 48)
                  .find("at least 64 x 64"));
}

// One codec in one container at one pixel format.
struct Pairing {
    Container container;
    std::string codec;
    std::string pixelFormat;
    std::string extension;
};

void PrintTo(const Pairing& pairing, std::ostream* out) {
    *out << pairing.codec << "_" << pairing.pixelFormat << pairing.extension;
}

// Every codec of every container at its default pixel format, and the 10-bit and 4:4:4 ones on
// request where the codec codes them.
std::vector<Pairing> offeredPairings() {
    std::vector<Pairing> pairings;
    for (const ContainerInfo& container : movieContainers()) {
        for (const VideoCodec* codec : availableVideoCodecs(container.id)) {
            std::vector<std::string> formats = {std::string(codec->pixelFormat)};
            const std::vector<std::string> offered = codecPixelFormats(*codec);
            for (const char* extra : {"yuv420p10le", "yuv444p", "yuv444p10le", "gbrp"}) {
                if (!codec->lossless &&
                    std::find(offered.begin(), offered.end(), extra) != offered.end() &&
                    formats[0] != extra) {
                    formats.emplace_back(extra);
                }
            }
            for (const std::string& format : formats) {
                pairings.push_back({container.id, std::string(codec->name), format,
                                    std::string(container.extension)});
            }
        }
    }
    return pairings;
}

class MovieRoundTrip : public ::testing::TestWithParam<Pairing> {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_ERROR); }
    TempFolder folder;
};

TEST_P(MovieRoundTrip, FramesDecodeBackTaggedInOrderAtTheirSizeAndRate) {
    const Pairing& pairing = GetParam();
    const std::string path = folder.file("film" + pairing.extension);
    // The fastest presets keep the suite quick.
    const std::string fast = pairing.codec == "av1"                                 ? "12"
                             : pairing.codec == "vp9"                               ? "realtime"
                             : pairing.codec == "prores" || pairing.codec == "ffv1" ? ""
                                                                                    : "ultrafast";
    const VideoFormat format = formatFor(path, {pairing.codec, {}, fast, pairing.pixelFormat});
    ASSERT_EQ("", writeMovie(path, format, 5, 64, 64, 24));
    EXPECT_FALSE(fs::exists(partialMovieName(path)));

    const testing::DecodedMovie movie = decodeMovie(path);
    ASSERT_EQ("", movie.error);
    EXPECT_EQ(24, movie.framesPerSecond);
    if (pairing.pixelFormat != "yuv444p10le" || pairing.codec != "prores") {
        EXPECT_EQ(pairing.pixelFormat, movie.pixelFormat);  // ProRes 4444 decodes at 12 bits
    }
    ASSERT_EQ(5u, movie.frames.size());
    const int tolerance = format.codec->lossless ? 0 : 8;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        ASSERT_EQ(64, movie.frames[i].width());
        ASSERT_EQ(64, movie.frames[i].height());
        if (tolerance == 0) {
            EXPECT_EQ(quadrantFrame(64, 64, i), movie.frames[i]);
            continue;
        }
        for (int quadrant = 0; quadrant < 4; ++quadrant) {
            const std::uint8_t* pixel =
                movie.frames[i].pixel(16 + 32 * (quadrant % 2), 16 + 32 * (quadrant / 2));
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_NEAR(quadrantColor(quadrant, i)[channel], pixel[channel], tolerance)
                    << "quadrant " << quadrant << " channel " << channel;
            }
        }
    }
    if (format.colorModel == ColorModel::kYuv) {
        EXPECT_EQ(AVCOL_SPC_SMPTE170M, movie.colorMatrix);
        EXPECT_EQ(AVCOL_RANGE_MPEG, movie.colorRange);
        EXPECT_EQ(AVCOL_PRI_SMPTE170M, movie.colorPrimaries);
    }
    if (format.container->indexAtFront) {
        std::ifstream file(path, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(file), {});
        EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
    }
}

INSTANTIATE_TEST_SUITE_P(Offered, MovieRoundTrip, ::testing::ValuesIn(offeredPairings()),
                         [](const ::testing::TestParamInfo<Pairing>& info) {
                             return info.param.codec + "_" + info.param.pixelFormat + "_" +
                                    info.param.extension.substr(1);
                         });

class MovieWriterTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { av_log_set_level(AV_LOG_ERROR); }
    TempFolder folder;
};

// Colour bars come back within 3 levels on their flat parts, through BT.709 at HD size and
// BT.601 below it; a wrong matrix or range would be off by 10 or more.
TEST_F(MovieWriterTest, ColorBarsSurviveTheConversionToYuv) {
    constexpr std::array<std::array<std::uint8_t, 3>, 8> kBars = {{{235, 235, 235},
                                                                   {16, 200, 220},
                                                                   {220, 200, 16},
                                                                   {30, 210, 40},
                                                                   {210, 30, 190},
                                                                   {20, 30, 200},
                                                                   {200, 20, 30},
                                                                   {60, 60, 60}}};
    struct Size {
        int width, height, matrix;
    };
    for (const Size size :
         {Size{1280, 720, AVCOL_SPC_BT709}, Size{320, 240, AVCOL_SPC_SMPTE170M}}) {
        FrameImage bars(size.width, size.height);
        const int barWidth = size.width / 8;
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                std::memcpy(bars.pixel(x, y), kBars[x / barWidth].data(), 3);
            }
        }
        const std::string path = folder.file("bars" + std::to_string(size.width) + ".mp4");
        {
            MovieWriter writer(path, {formatFor(path, {"h264", 16, "ultrafast", ""}), 25, {}});
            ASSERT_EQ(WriteStatus::kOk, writer.writeFrame(bars));
            ASSERT_EQ(WriteStatus::kOk, writer.close()) << writer.errorText();
        }
        const testing::DecodedMovie movie = decodeMovie(path);
        ASSERT_EQ(1u, movie.frames.size()) << movie.error;
        EXPECT_EQ(size.matrix, movie.colorMatrix);
        for (int bar = 0; bar < 8; ++bar) {
            for (int y = 8; y < size.height - 8; y += 16) {
                const std::uint8_t* pixel = movie.frames[0].pixel(bar * barWidth + barWidth / 2, y);
                for (int channel = 0; channel < 3; ++channel) {
                    ASSERT_NEAR(kBars[bar][channel], pixel[channel], 3)
                        << size.width << " bar " << bar << " channel " << channel;
                }
            }
        }
    }
}

TEST_F(MovieWriterTest, FailuresLeaveNoFileUnderAnyName) {
    const VideoFormat h264 = formatFor("film.mp4", {"h264", {}, "ultrafast", ""});
    const std::string missing = folder.file("missing/film.mp4");
    MovieWriter writer(missing, {h264, 25, {}});
    EXPECT_EQ(WriterState::kWaitingForFirstFrame, writer.state());
    EXPECT_EQ(WriteStatus::kFailed, writer.writeFrame(quadrantFrame(16, 16, 0)));
    EXPECT_EQ(WriterState::kClosed, writer.state());
    EXPECT_NE(std::string::npos, writer.errorText().find(missing)) << writer.errorText();
    EXPECT_EQ(WriteStatus::kFailed,
              writer.writeFrame(quadrantFrame(16, 16, 1)));  // no second attempt

    // An odd size for 4:2:0, and a frame of another size than the first.
    EXPECT_NE("", writeMovie(folder.file("odd.mp4"), h264, 1, 33, 32));
    const std::string path = folder.file("film.mp4");
    {
        MovieWriter sized(path, {h264, 25, {}});
        ASSERT_EQ(WriteStatus::kOk, sized.writeFrame(quadrantFrame(32, 32, 0)));
        EXPECT_EQ(WriteStatus::kFailed, sized.writeFrame(quadrantFrame(32, 16, 1)));
        EXPECT_NE(std::string::npos, sized.errorText().find("32 x 16")) << sized.errorText();
        EXPECT_EQ(WriterState::kWriting, sized.state());
        EXPECT_TRUE(fs::exists(partialMovieName(path)));
        EXPECT_FALSE(fs::exists(path));
    }
    EXPECT_TRUE(fs::exists(path));
    fs::remove(path);
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

}  // namespace
}  // namespace zr
