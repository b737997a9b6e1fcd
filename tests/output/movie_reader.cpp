#include "output/movie_reader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace zr::testing {

namespace {

struct InputCloser {
    void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
};
struct DecoderFreer {
    void operator()(AVCodecContext* decoder) const { avcodec_free_context(&decoder); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

FrameImage toBgr(const AVFrame& frame) {
    FrameImage image(frame.width, frame.height);
    SwsContext* scaler = sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
        frame.height, AV_PIX_FMT_BGR24, SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
        nullptr, nullptr);
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
    const std::unique_ptr<AVFormatContext, InputCloser> input(rawInput);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        movie.error = "no stream information";
        return movie;
    }
    const int streamIndex =
        av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (streamIndex < 0) {
        movie.error = "no video stream";
        return movie;
    }
    const AVStream& stream = *input->streams[streamIndex];
    movie.codecTag = stream.codecpar->codec_tag;
    movie.width = stream.codecpar->width;
    movie.height = stream.codecpar->height;
    movie.rateNumerator = stream.r_frame_rate.num;
    movie.rateDenominator = stream.r_frame_rate.den;

    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    const std::unique_ptr<AVCodecContext, DecoderFreer> decoder(avcodec_alloc_context3(codec));
    if (codec == nullptr || !decoder ||
        avcodec_parameters_to_context(decoder.get(), stream.codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        movie.error = "no decoder";
        return movie;
    }
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    const auto receiveFrames = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            movie.frames.push_back(toBgr(*frame));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == streamIndex && packet->size > 0) {
            movie.keyPackets.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
            avcodec_send_packet(decoder.get(), packet.get());
            receiveFrames();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    receiveFrames();
    return movie;
}

StreamBitmapHeader readStreamBitmapHeader(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    StreamBitmapHeader header;
    const std::size_t at = bytes.find("strf");
    if (at == std::string::npos || at + 8 + 20 > bytes.size()) {
        return header;
    }
    const char* info = bytes.data() + at + 8;
    header.found = true;
    std::memcpy(&header.width, info + 4, 4);
    std::memcpy(&header.height, info + 8, 4);
    std::memcpy(&header.bitCount, info + 14, 2);
    std::memcpy(&header.compression, info + 16, 4);
    return header;
}

}  // namespace zr::testing
