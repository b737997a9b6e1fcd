#include "output/movie_format.h"

#include <algorithm>
#include <filesystem>

#include "support/text_match.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

namespace zr {

namespace {

const std::vector<std::string_view> kX26xPresets = {"ultrafast", "superfast", "veryfast", "faster",
                                                    "fast",      "medium",    "slow",     "slower",
                                                    "veryslow",  "placebo"};

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) {
            text += separator;
        }
        text += item;
    }
    return text;
}

std::vector<std::string> presetNames(const VideoCodec& codec) {
    return {codec.presets.begin(), codec.presets.end()};
}

bool holds(const VideoCodec& codec, Container container) {
    return std::find(codec.containers.begin(), codec.containers.end(), container) !=
           codec.containers.end();
}

// ProRes picks its profile from the pixel format: 4:4:4 formats need a 4444 profile and 4:2:2
// formats one of the others.
bool proresProfileFits(std::string_view profile, const AVPixFmtDescriptor& pixel) {
    const bool fullChroma = pixel.log2_chroma_w == 0;
    return profile.starts_with("4444") == fullChroma;
}

// "a, b or c" with `conjunction` "or".
std::string listed(std::vector<std::string> items, std::string_view conjunction) {
    const std::string last = items.back();
    items.pop_back();
    return items.empty() ? last : joined(items, ", ") + " " + std::string(conjunction) + " " + last;
}

}  // namespace

const std::vector<ContainerInfo>& movieContainers() {
    // clang-format off
    static const std::vector<ContainerInfo> containers = {
        {Container::kAvi, ".avi", "avi", "AVI", "", "pcm_s16le", false,
         {"mp3", "ac3", "pcm_s16le"}},
        {Container::kMp4, ".mp4", "mp4", "MP4", "h264", "aac", true,
         {"aac", "mp3", "ac3", "eac3"}},
        {Container::kMkv, ".mkv", "matroska", "Matroska", "h264", "libopus", false,
         {"aac", "mp3", "vorbis", "opus", "flac", "ac3", "eac3", "alac", "pcm_s16le",
          "pcm_s24le"}},
        {Container::kMov, ".mov", "mov", "QuickTime", "h264", "aac", true,
         {"aac", "mp3", "ac3", "alac", "pcm_s16le", "pcm_s24le"}},
        {Container::kWebm, ".webm", "webm", "WebM", "vp9", "libopus", false,
         {"vorbis", "opus"}},
    };
    // clang-format on
    return containers;
}

const ContainerInfo& containerInfo(Container container) {
    for (const ContainerInfo& info : movieContainers()) {
        if (info.id == container) {
            return info;
        }
    }
    return movieContainers().front();
}

const ContainerInfo* containerForFile(std::string_view path) {
    const std::string extension = std::filesystem::path(path).extension().string();
    for (const ContainerInfo& container : movieContainers()) {
        if (equalIgnoringCase(container.extension, extension)) {
            return &container;
        }
    }
    return nullptr;
}

std::string containerList() {
    std::vector<std::string> names;
    for (const ContainerInfo& container : movieContainers()) {
        names.push_back(std::string(container.description) + " (" +
                        std::string(container.extension) + ")");
    }
    return joined(names, ", ");
}

std::string containerExtensions(bool exceptAvi) {
    std::vector<std::string> extensions;
    for (const ContainerInfo& container : movieContainers()) {
        if (!exceptAvi || container.id != Container::kAvi) {
            extensions.emplace_back(container.extension);
        }
    }
    return listed(std::move(extensions), "or");
}

std::string containerNames(std::string_view conjunction) {
    std::vector<std::string> names;
    for (const ContainerInfo& container : movieContainers()) {
        if (container.id != Container::kAvi) {
            names.emplace_back(container.description);
        }
    }
    return listed(std::move(names), conjunction);
}

std::string containerHelpList() {
    std::vector<std::string> items;
    for (const ContainerInfo& container : movieContainers()) {
        std::string item(container.extension);
        if (!equalIgnoringCase(container.extension.substr(1), container.description)) {
            item += " (" + std::string(container.description) + ")";
        }
        items.push_back(std::move(item));
    }
    return joined(items, ", ");
}

std::string containerPatterns() {
    std::vector<std::string> patterns;
    for (const ContainerInfo& container : movieContainers()) {
        patterns.push_back("*" + std::string(container.extension));
    }
    std::rotate(patterns.begin(), patterns.begin() + 1, patterns.end());  // AVI last
    return joined(patterns, ";");
}

const std::vector<VideoCodec>& knownVideoCodecs() {
    using C = Container;
    static const std::vector<VideoCodec> codecs = {
        {"h264",
         "libx264",
         "H.264 (x264)",
         "yuv420p",
         false,
         0,
         51,
         23,
         kX26xPresets,
         "medium",
         {C::kMp4, C::kMkv, C::kMov}},
        {"h265",
         "libx265",
         "H.265 / HEVC (x265)",
         "yuv420p",
         false,
         0,
         51,
         28,
         kX26xPresets,
         "medium",
         {C::kMp4, C::kMkv, C::kMov}},
        {"av1",
         "libsvtav1",
         "AV1 (SVT-AV1)",
         "yuv420p",
         false,
         1,
         63,
         35,
         {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"},
         "8",
         {C::kMp4, C::kMkv, C::kWebm},
         64},
        {"vp9",
         "libvpx-vp9",
         "VP9 (libvpx)",
         "yuv420p",
         false,
         0,
         63,
         31,
         {"best", "good", "realtime"},
         "good",
         {C::kWebm, C::kMkv}},
        {"prores",
         "prores_ks",
         "Apple ProRes, for editing",
         "yuv422p10le",
         false,
         1,
         0,
         0,
         {"proxy", "lt", "standard", "hq", "4444", "4444xq"},
         "",
         {C::kMov, C::kMkv}},
        {"ffv1", "ffv1", "FFV1 (lossless), for archives", "bgr0", true, 1, 0, 0, {}, "", {C::kMkv}},
    };
    return codecs;
}

const VideoCodec* findVideoCodec(std::string_view name) {
    for (const VideoCodec& codec : knownVideoCodecs()) {
        if (equalIgnoringCase(codec.name, name)) {
            return &codec;
        }
    }
    return nullptr;
}

std::vector<const VideoCodec*> availableVideoCodecs(Container container) {
    std::vector<const VideoCodec*> available;
    const ContainerInfo* info = &containerInfo(container);
    const AVOutputFormat* muxer =
        av_guess_format(std::string(info->muxer).c_str(), nullptr, nullptr);
    for (const VideoCodec& codec : knownVideoCodecs()) {
        const AVCodec* encoder =
            avcodec_find_encoder_by_name(std::string(codec.encoderName).c_str());
        if (holds(codec, container) && encoder != nullptr && muxer != nullptr &&
            avformat_query_codec(muxer, encoder->id, FF_COMPLIANCE_NORMAL) == 1) {
            available.push_back(&codec);
        }
    }
    return available;
}

std::vector<std::string> codecPixelFormats(const VideoCodec& codec) {
    // Pictures of 8 bits a channel gain nothing from more than 10 bits, and nothing from
    // transparency or coarser colour than 4:2:0.
    static constexpr AVPixelFormat kOffered[] = {
        AV_PIX_FMT_YUV420P,     AV_PIX_FMT_YUV422P,     AV_PIX_FMT_YUV444P,
        AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV422P10LE, AV_PIX_FMT_YUV444P10LE,
        AV_PIX_FMT_GBRP,        AV_PIX_FMT_GBRP10LE,    AV_PIX_FMT_BGR0};
    std::vector<std::string> names;
    const AVCodec* encoder = avcodec_find_encoder_by_name(std::string(codec.encoderName).c_str());
    if (encoder == nullptr || encoder->pix_fmts == nullptr) {
        return names;
    }
    for (const AVPixelFormat* format = encoder->pix_fmts; *format != AV_PIX_FMT_NONE; ++format) {
        if (std::find(std::begin(kOffered), std::end(kOffered), *format) != std::end(kOffered)) {
            names.emplace_back(av_get_pix_fmt_name(*format));
        }
    }
    return names;
}

namespace {

// The codec asked for, or the container's own; null with `error` set when the container cannot
// hold it or this build lacks its encoder.
const VideoCodec* chooseCodec(const ContainerInfo* container, const VideoRequest& request,
                              const std::string& file, std::string& error) {
    const std::string codecName =
        request.codec.empty() ? std::string(container->defaultCodec) : request.codec;
    const VideoCodec* codec = findVideoCodec(codecName);
    std::vector<std::string> offered;
    for (const VideoCodec* available : availableVideoCodecs(container->id)) {
        offered.emplace_back(available->name);
    }
    if (codec == nullptr || !holds(*codec, container->id)) {
        error = "a " + std::string(container->description) + " file such as " + file +
                " cannot hold the video codec " + inQuotes(codecName) + "; choose one of " +
                joined(offered, ", ") + " (\"zoomreel-cli codecs\" lists every container)";
        return nullptr;
    }
    if (std::find(offered.begin(), offered.end(), codec->name) == offered.end()) {
        error = "this build's FFmpeg libraries lack the encoder " + inQuotes(codec->encoderName) +
                " of " + std::string(codec->description) + " for " + file + "; choose one of " +
                joined(offered, ", ");
        return nullptr;
    }
    return codec;
}

// The constant-quality value and the preset asked for, checked against the codec's scale and
// presets, or the codec's defaults.
bool chooseQuality(const VideoRequest& request, const std::string& file, VideoFormat& chosen,
                   std::string& error) {
    const VideoCodec* codec = chosen.codec;
    const bool hasCrf = codec->minCrf <= codec->maxCrf;
    if (request.crf && !hasCrf) {
        error = std::string(codec->description) + " has no --crf scale (" + file + "); " +
                (codec->lossless
                     ? "it keeps every pixel"
                     : "choose its quality with --preset " + joined(presetNames(*codec), "|"));
        return false;
    }
    if (request.crf && (*request.crf < codec->minCrf || *request.crf > codec->maxCrf)) {
        error = "--crf " + std::to_string(*request.crf) + " is outside the scale of " +
                std::string(codec->description) + " for " + file + ": give " +
                std::to_string(codec->minCrf) + " (best) to " + std::to_string(codec->maxCrf) +
                " (smallest); the default is " + std::to_string(codec->defaultCrf);
        return false;
    }
    chosen.crf = hasCrf ? request.crf.value_or(codec->defaultCrf) : -1;

    if (!request.preset.empty()) {
        const auto known = std::find_if(
            codec->presets.begin(), codec->presets.end(),
            [&](std::string_view preset) { return equalIgnoringCase(preset, request.preset); });
        if (known == codec->presets.end()) {
            error = codec->presets.empty()
                        ? std::string(codec->description) + " has no presets (" + file + ")"
                        : "--preset " + inQuotes(request.preset) + " is not a preset of " +
                              std::string(codec->description) + " (" + file + "); choose one of " +
                              joined(presetNames(*codec), ", ");
            return false;
        }
        chosen.preset = std::string(*known);
    } else {
        chosen.preset = std::string(codec->defaultPreset);
    }
    return true;
}

// The pixel format asked for, or the codec's own, when the codec's encoder takes it; ProRes
// takes the profile that fits it.
bool choosePixelFormat(const VideoRequest& request, const std::string& file, VideoFormat& chosen,
                       std::string& error) {
    const VideoCodec* codec = chosen.codec;
    const std::vector<std::string> pixelFormats = codecPixelFormats(*codec);
    std::string pixelName =
        request.pixelFormat.empty() ? std::string(codec->pixelFormat) : request.pixelFormat;
    const AVPixelFormat pixelFormat = av_get_pix_fmt(pixelName.c_str());
    const AVPixFmtDescriptor* pixel = av_pix_fmt_desc_get(pixelFormat);
    if (pixel == nullptr ||
        std::find(pixelFormats.begin(), pixelFormats.end(), pixel->name) == pixelFormats.end()) {
        error = std::string(codec->description) + " cannot code the pixel format " +
                inQuotes(pixelName) + " for " + file + "; choose --pix-fmt " +
                joined(pixelFormats, ", ");
        return false;
    }
    if (codec->encoderName == "prores_ks") {
        if (chosen.preset.empty()) {
            chosen.preset = pixel->log2_chroma_w == 0 ? "4444" : "hq";
        } else if (!proresProfileFits(chosen.preset, *pixel)) {
            error = "the ProRes profile " + inQuotes(chosen.preset) + " does not code " +
                    inQuotes(pixel->name) + " (" + file + "); " +
                    (pixel->log2_chroma_w == 0
                         ? "choose --preset 4444 or 4444xq, or --pix-fmt yuv422p10le"
                         : "choose --preset proxy, lt, standard or hq, or --pix-fmt yuv444p10le");
            return false;
        }
    }
    chosen.pixelFormat = pixelFormat;
    chosen.colorModel = (pixel->flags & AV_PIX_FMT_FLAG_RGB) ? ColorModel::kRgb : ColorModel::kYuv;
    chosen.bitDepth = pixel->comp[0].depth;
    return true;
}

}  // namespace

bool chooseVideoFormat(const std::string& path, const VideoRequest& request, VideoFormat& format,
                       std::string& error) {
    const std::string file = inQuotes(path);
    const ContainerInfo* container = containerForFile(path);
    if (container == nullptr) {
        error = "the movie file " + file + " has an extension this program cannot write; end " +
                "its name in one of " + containerList();
        return false;
    }
    if (container->id == Container::kAvi) {
        error = "the AVI movie " + file + " is written with a compressor chosen by " +
                "four-character code (--codec FOURCC, --quality N); --crf, --preset and " +
                "--pix-fmt are for " + containerNames("and") + " files";
        return false;
    }
    const VideoCodec* codec = chooseCodec(container, request, file, error);
    if (codec == nullptr) {
        return false;
    }
    VideoFormat chosen;
    chosen.container = container;
    chosen.codec = codec;
    if (!chooseQuality(request, file, chosen, error) ||
        !choosePixelFormat(request, file, chosen, error)) {
        return false;
    }
    format = chosen;
    return true;
}

std::string frameSizeProblem(const VideoFormat& format, int width, int height) {
    const AVPixFmtDescriptor* pixel =
        av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format.pixelFormat));
    if (pixel == nullptr) {
        return "no pixel format";
    }
    const int minimum = format.codec != nullptr ? format.codec->minimumSide : 1;
    if (width < minimum || height < minimum) {
        return std::string(format.codec->description) + " codes frames of at least " +
               std::to_string(minimum) + " x " + std::to_string(minimum) + " pixels, not " +
               std::to_string(width) + " x " + std::to_string(height) +
               "; choose a larger movie size or another codec";
    }
    const int across = 1 << pixel->log2_chroma_w;
    const int down = 1 << pixel->log2_chroma_h;
    if (width % across != 0 || height % down != 0) {
        return std::string("the pixel format ") + pixel->name + " needs a width that divides by " +
               std::to_string(across) + " and a height that divides by " + std::to_string(down) +
               ", not " + std::to_string(width) + " x " + std::to_string(height) +
               "; choose such a movie size or --pix-fmt yuv444p";
    }
    return {};
}

ColorTags colorTagsFor(const VideoFormat& format, int width, int height) {
    const bool hd = std::max(width, height) >= 1280 || std::min(width, height) >= 720;
    ColorTags tags{};
    if (hd) {
        tags = {AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709, AVCOL_RANGE_MPEG};
    } else {
        tags = {AVCOL_SPC_SMPTE170M, AVCOL_PRI_SMPTE170M, AVCOL_TRC_SMPTE170M, AVCOL_RANGE_MPEG};
    }
    if (format.colorModel == ColorModel::kRgb) {
        // The pictures are sRGB.
        tags = {AVCOL_SPC_RGB, AVCOL_PRI_BT709, AVCOL_TRC_IEC61966_2_1, AVCOL_RANGE_JPEG};
    }
    return tags;
}

}  // namespace zr
