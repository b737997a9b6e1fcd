#include "output/movie_reader.h"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace zr::testing {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zr_output_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("no temporary folder");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

template <auto release>
struct Releaser {
    template <typename T>
    void operator()(T* object) const {
        release(&object);
    }
};

FrameImage toBgr(const AVFrame& frame) {
    FrameImage image(frame.width, frame.height);
    SwsContext* scaler = sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
        frame.height, AV_PIX_FMT_BGR24, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
        nullptr, nullptr);
    if (frame.colorspace == AVCOL_SPC_BT709 || frame.colorspace == AVCOL_SPC_SMPTE170M) {
        const int matrix = frame.colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_SMPTE170M;
        sws_setColorspaceDetails(scaler, sws_getCoefficients(matrix),
                                 frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    std::uint8_t* const rows[1] = {image.data()};
    const int strides[1] = {image.stride()};
    sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, rows, strides);
    sws_freeContext(scaler);
    return image;
}

}  // namespace

DecodedMovie decodeMovie(const std::string& path) {
    DecodedMovie movie;
    AVFormatContext* rawInput = nullptr;
    if (avformat_open_input(&rawInput, path.c_str(), nullptr, nullptr) < 0) {
        movie.error = "cannot open " + path;
        return movie;
    }
    const std::unique_ptr<AVFormatContext, Releaser<avformat_close_input>> input(rawInput);
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (avformat_find_stream_info(input.get(), nullptr) < 0 || index < 0) {
        movie.error = "no video stream";
        return movie;
    }
    const AVStream& stream = *input->streams[index];
    movie.codecTag = stream.codecpar->codec_tag;
    movie.codecName = avcodec_get_name(stream.codecpar->codec_id);
    movie.colorMatrix = stream.codecpar->color_space;
    movie.colorRange = stream.codecpar->color_range;
    movie.colorPrimaries = stream.codecpar->color_primaries;
    if (const char* name =
            av_get_pix_fmt_name(static_cast<AVPixelFormat>(stream.codecpar->format))) {
        movie.pixelFormat = name;
    }
    movie.framesPerSecond = stream.r_frame_rate.den == 1 ? stream.r_frame_rate.num : 0;
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    const std::unique_ptr<AVCodecContext, Releaser<avcodec_free_context>> decoder(
        avcodec_alloc_context3(codec));
    if (codec == nullptr || avcodec_parameters_to_context(decoder.get(), stream.codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        movie.error = "no decoder";
        return movie;
    }
    const std::unique_ptr<AVPacket, Releaser<av_packet_free>> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, Releaser<av_frame_free>> frame(av_frame_alloc());
    const auto decode = [&](const AVPacket* sent) {
        avcodec_send_packet(decoder.get(), sent);
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            if (movie.frames.empty() && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
                movie.startSeconds =
                    static_cast<double>(frame->best_effort_timestamp) * av_q2d(stream.time_base);
            }
            movie.frames.push_back(toBgr(*frame));
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && packet->size > 0) {
            movie.keyPackets.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
            decode(packet.get());
        }
        av_packet_unref(packet.get());
    }
    decode(nullptr);
    return movie;
}

DecodedSound decodeSound(const std::string& path) {
    DecodedSound sound;
    AVFormatContext* rawInput = nullptr;
    if (avformat_open_input(&rawInput, path.c_str(), nullptr, nullptr) < 0) {
        sound.error = "cannot open " + path;
        return sound;
    }
    const std::unique_ptr<AVFormatContext, Releaser<avformat_close_input>> input(rawInput);
    const int index = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (avformat_find_stream_info(input.get(), nullptr) < 0 || index < 0) {
        sound.error = "no sound stream";
        return sound;
    }
    const AVStream& stream = *input->streams[index];
    sound.codecName = avcodec_get_name(stream.codecpar->codec_id);
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    const std::unique_ptr<AVCodecContext, Releaser<avcodec_free_context>> decoder(
        avcodec_alloc_context3(codec));
    if (codec == nullptr || avcodec_parameters_to_context(decoder.get(), stream.codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        sound.error = "no decoder";
        return sound;
    }
    decoder->pkt_timebase = stream.time_base;
    sound.sampleRate = decoder->sample_rate;
    const std::unique_ptr<AVPacket, Releaser<av_packet_free>> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, Releaser<av_frame_free>> frame(av_frame_alloc());
    bool first = true;
    const auto decode = [&](const AVPacket* sent) {
        avcodec_send_packet(decoder.get(), sent);
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            if (first && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
                sound.startSeconds =
                    static_cast<double>(frame->best_effort_timestamp) * av_q2d(stream.time_base);
            }
            first = false;
            SwrContext* mixer = nullptr;
            AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
            swr_alloc_set_opts2(&mixer, &mono, AV_SAMPLE_FMT_FLT, frame->sample_rate,
                                &frame->ch_layout, static_cast<AVSampleFormat>(frame->format),
                                frame->sample_rate, 0, nullptr);
            swr_init(mixer);
            const std::size_t at = sound.samples.size();
            sound.samples.resize(at + frame->nb_samples + 64);
            auto* out = reinterpret_cast<std::uint8_t*>(sound.samples.data() + at);
            const int made = swr_convert(mixer, &out, frame->nb_samples + 64,
                                         const_cast<const std::uint8_t**>(frame->extended_data),
                                         frame->nb_samples);
            sound.samples.resize(at + std::max(made, 0));
            swr_free(&mixer);
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index) {
            decode(packet.get());
        }
        av_packet_unref(packet.get());
    }
    decode(nullptr);
    return sound;
}

void writeWav(const std::string& path, int sampleRate, const std::vector<float>& samples) {
    std::ofstream file(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t value) { file.write(reinterpret_cast<char*>(&value), 4); };
    const auto put16 = [&](std::uint16_t value) { file.write(reinterpret_cast<char*>(&value), 2); };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    file.write("RIFF", 4);
    put32(36 + dataBytes);
    file.write("WAVEfmt ", 8);
    put32(16);
    put16(1);  // PCM
    put16(1);  // mono
    put32(static_cast<std::uint32_t>(sampleRate));
    put32(static_cast<std::uint32_t>(sampleRate) * 2);
    put16(2);
    put16(16);
    file.write("data", 4);
    put32(dataBytes);
    for (const float sample : samples) {
        put16(static_cast<std::uint16_t>(
            static_cast<std::int16_t>(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f))));
    }
}

StreamBitmapHeader readStreamBitmapHeader(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(file), {});
    StreamBitmapHeader header;
    const std::size_t at = bytes.find("strf");
    if (at != std::string::npos && at + 8 + 16 <= bytes.size()) {
        std::memcpy(&header.width, bytes.data() + at + 12, 4);
        std::memcpy(&header.height, bytes.data() + at + 16, 4);
        std::memcpy(&header.bitCount, bytes.data() + at + 22, 2);
    }
    return header;
}

}  // namespace zr::testing

// libx265 keeps a few small blocks of every encoder it opens (its frame filters) past the
// encoder's end; the leak checker of sanitized builds is told they are not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}
