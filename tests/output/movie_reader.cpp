#include "output/movie_reader.h"

#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
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
