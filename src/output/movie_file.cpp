#include "output/movie_file.h"

#include <cstdio>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace zr {
namespace {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

}  // namespace

std::string movieFileName(int index, std::string_view extension) {
    std::string name = "film";
    if (index > 0) {
        char number[16];
        std::snprintf(number, sizeof number, "_%02d", index);
        name += number;
    }
    name += '.';
    name += extension;
    return name;
}

long long movieFileFrameCount(const std::string& path) {
    AVFormatContext* rawInput = nullptr;
    if (avformat_open_input(&rawInput, path.c_str(), nullptr, nullptr) < 0) {
        return -1;
    }
    const std::unique_ptr<AVFormatContext, InputCloser> input(rawInput);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return -1;
    }
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        return -1;
    }
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!packet) {
        return -1;
    }
    long long frames = 0;
    int result = 0;
    while ((result = av_read_frame(input.get(), packet.get())) >= 0) {
        if (packet->stream_index == stream) {
            ++frames;
        }
        av_packet_unref(packet.get());
    }
    return result == AVERROR_EOF ? frames : -1;
}

}  // namespace zr
