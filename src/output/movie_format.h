#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr {

// The kinds of movie file the program writes, chosen by the file name's extension.
enum class Container { kAvi, kMp4, kMkv, kMov, kWebm };

struct ContainerInfo {
    Container id;
    std::string_view extension;     // ".mp4"
    std::string_view muxer;         // the FFmpeg muxer
    std::string_view description;   // what the user sees
    std::string_view defaultCodec;  // the video codec of a movie that names none; "" for AVI
    std::string_view soundEncoder;  // the FFmpeg encoder of a soundtrack that cannot be copied
    bool indexAtFront;              // the index goes before the frames, so playing starts early
    // The sound codecs the container takes as they are, by FFmpeg's names ("aac"); a soundtrack
    // in any other is encoded with soundEncoder.
    std::vector<std::string_view> copiedSoundCodecs;
};

// Every container, AVI first.
const std::vector<ContainerInfo>& movieContainers();
const ContainerInfo& containerInfo(Container container);

// The container of a movie file by its extension, letters compared without regard to case; null
// for any other extension.
const ContainerInfo* containerForFile(std::string_view path);

// "AVI (.avi), MP4 (.mp4), ...": for messages about an extension that is none of them.
std::string containerList();

// ".avi, .mp4, .mkv, .mov or .webm": every container's extension, for help texts; with
// `exceptAvi`, the containers that carry a soundtrack and a codec of their own.
std::string containerExtensions(bool exceptAvi = false);

// "MP4, Matroska, QuickTime and WebM" (with `conjunction` "and"): the containers that carry a
// soundtrack and a codec of their own, as messages name them.
std::string containerNames(std::string_view conjunction);

// ".avi, .mp4, .mkv (Matroska), .mov (QuickTime), .webm": every container's extension, with its
// name where the extension does not spell it, as the movie file's help lists them.
std::string containerHelpList();

// "*.mp4;*.mkv;*.mov;*.webm;*.avi": the file chooser's pattern of movie files, the containers
// with codecs of their own first.
std::string containerPatterns();

// How a video codec is colour-coded: YUV with a matrix and a range, or RGB planes or pixels.
enum class ColorModel { kYuv, kRgb };

// A video codec of the containers other than AVI (AVI movies are written with the compressors of
// compressors.h, chosen by four-character code).
struct VideoCodec {
    std::string_view name;           // what --codec takes: "h264"
    std::string_view encoderName;    // the FFmpeg encoder: "libx264"
    std::string_view description;    // "H.264 (x264)"
    std::string_view pixelFormat;    // the default pixel format
    bool lossless;                   // in RGB, frames decode back to exactly the pixels written
    int minCrf, maxCrf, defaultCrf;  // the constant-quality scale; minCrf > maxCrf: none
    std::vector<std::string_view> presets;  // names --preset takes; empty: none
    std::string_view defaultPreset;         // "" leaves the encoder's own
    std::vector<Container> containers;      // where the codec may go
    int minimumSide = 1;                    // the smallest width and height it codes
};

// Every codec the program knows, whether or not this build can write it.
const std::vector<VideoCodec>& knownVideoCodecs();

// The codec of a name (any case), or null.
const VideoCodec* findVideoCodec(std::string_view name);

// The codecs this build can write into the container, in the order of knownVideoCodecs(); empty
// for AVI.
std::vector<const VideoCodec*> availableVideoCodecs(Container container);

// The pixel formats offered for the codec, those of 4:2:0, 4:2:2 and 4:4:4 YUV and of RGB at 8
// and 10 bits that its encoder takes in this build, by FFmpeg's names ("yuv420p",
// "yuv420p10le", ...).
std::vector<std::string> codecPixelFormats(const VideoCodec& codec);

// What the user asked for; anything left empty takes the codec's default.
struct VideoRequest {
    std::string codec;
    std::optional<int> crf;
    std::string preset;
    std::string pixelFormat;
};

// A complete, checked choice for a movie file other than AVI.
struct VideoFormat {
    const ContainerInfo* container = nullptr;
    const VideoCodec* codec = nullptr;
    int crf = -1;          // -1: the codec has no such scale
    std::string preset;    // "" leaves the encoder's own
    int pixelFormat = -1;  // an AVPixelFormat
    ColorModel colorModel = ColorModel::kYuv;
    int bitDepth = 8;
};

// Checks the request for the movie file `path` and completes it with the defaults. Returns false
// with `error` naming the file and what to do when the extension is unknown or AVI, when the
// container cannot hold the codec, when this build lacks its encoder, or when the codec refuses
// the quality, preset or pixel format.
bool chooseVideoFormat(const std::string& path, const VideoRequest& request, VideoFormat& format,
                       std::string& error);

// Empty when frames of width x height suit the format, else what is wrong and what to do (4:2:0
// and 4:2:2 pixel formats halve the colour resolution and need even sizes).
std::string frameSizeProblem(const VideoFormat& format, int width, int height);

// The colour description written into a movie's stream, as FFmpeg's numbers (AVColorSpace,
// AVColorPrimaries, AVColorTransferCharacteristic, AVColorRange). Pictures of HD size (1280 x 720
// and up, either way) are described as BT.709, smaller ones as BT.601 (SMPTE 170M), as players
// expect; YUV is limited range, RGB full range.
struct ColorTags {
    int matrix;
    int primaries;
    int transfer;
    int range;
};
ColorTags colorTagsFor(const VideoFormat& format, int width, int height);

}  // namespace zr
