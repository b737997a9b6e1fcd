#include <gtest/gtest.h>

#include <string>

#include "output/movie_format.h"
#include "settings/parameters.h"

extern "C" {
#include <libavcodec/codec_desc.h>
}

namespace zr {
namespace {

// The texts that name containers are made from the table, so a container added there reaches
// every message; the movie file's help lives below the table and is compared with it here.
TEST(ContainerTable, TextsThatNameContainersFollowTheTable) {
    EXPECT_EQ(".avi, .mp4, .mkv (Matroska), .mov (QuickTime), .webm", containerHelpList());
    EXPECT_EQ(".mp4, .mkv, .mov or .webm", containerExtensions(true));
    EXPECT_EQ(".avi, .mp4, .mkv, .mov or .webm", containerExtensions());
    EXPECT_EQ("MP4, Matroska, QuickTime and WebM", containerNames("and"));
    EXPECT_EQ("MP4, Matroska, QuickTime or WebM", containerNames("or"));

    const Parameter* movieFile = parameterWithKey("MOVIEFILE");
    ASSERT_NE(nullptr, movieFile);
    EXPECT_NE(std::string_view::npos, movieFile->help.find(containerHelpList()))
        << "the movie file's help lists other containers than the table: " << movieFile->help;
}

// The sound codecs a container copies are named as FFmpeg names them: a misspelt name would
// silently send every such soundtrack through the encoder.
TEST(ContainerTable, CopiedSoundCodecsAreCodecsFFmpegKnows) {
    for (const ContainerInfo& container : movieContainers()) {
        EXPECT_FALSE(container.copiedSoundCodecs.empty()) << container.extension;
        for (std::string_view name : container.copiedSoundCodecs) {
            const AVCodecDescriptor* codec =
                avcodec_descriptor_get_by_name(std::string(name).c_str());
            ASSERT_NE(nullptr, codec) << name << " in " << container.extension;
            EXPECT_EQ(AVMEDIA_TYPE_AUDIO, codec->type) << name;
            EXPECT_EQ(name, avcodec_get_name(codec->id)) << name;
        }
    }
}

}  // namespace
}  // namespace zr
