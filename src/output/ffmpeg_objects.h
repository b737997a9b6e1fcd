#pragma once

// Owners of FFmpeg's objects and the small helpers the movie writers share. Internal to the
// output library.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "output/movie_record.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace zr {
class FrameImage;
}

namespace zr::ffmpeg {

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerDeleter {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
struct ResamplerDeleter {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
struct InputDeleter {
    void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
};
struct BufferPoolDeleter {
    // Buffers still out (in packets the muxer holds) free the pool when they come back.
    void operator()(AVBufferPool* pool) const { av_buffer_pool_uninit(&pool); }
};
struct OutputDeleter {
    void operator()(AVFormatContext* output) const {
        // A file of our own (custom input and output) is closed by its owner.
        if (output->pb != nullptr && (output->flags & AVFMT_FLAG_CUSTOM_IO) == 0) {
            avio_closep(&output->pb);
        }
        avformat_free_context(output);
    }
};

// A dictionary of options or tags, freed with its owner. FFmpeg's calls that take options
// (avformat_write_header(), avcodec_open2()) take address() and leave there what they did not use.
class Dictionary {
  public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&dictionary_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    void set(const char* key, const char* value) { av_dict_set(&dictionary_, key, value, 0); }
    // Adds "key=value" pairs separated by ':'.
    void parse(const char* options) { av_dict_parse_string(&dictionary_, options, "=", ":", 0); }
    AVDictionary** address() { return &dictionary_; }

  private:
    AVDictionary* dictionary_ = nullptr;
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerDeleter>;
using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;

// A converter from BGR pictures of width x height to `target` with the scaler `flags`, which
// shares each picture's rows among `threads` threads (0: as many as the machine has; the bytes
// are the same as with one). Null when the conversion is not possible.
ScalerPtr makeFrameConverter(int width, int height, AVPixelFormat target, int flags,
                             int threads = 0);

// Converts a BGR picture of the frame's size into `frame` with `scaler`. The converter's vector
// code reads up to a few dozen bytes past the last row it is given, which may lie beyond the
// picture's memory; the picture goes to it from `paddedCopy`, a copy with that much room after
// it (kept by the caller, so that its memory is reused from frame to frame).
// Returns 0, or FFmpeg's error code.
int convertPicture(SwsContext* scaler, const FrameImage& image, AVFrame& frame,
                   std::vector<std::uint8_t>& paddedCopy);

// FFmpeg's text for an error code.
std::string message(int code);

// "\"text\"": how messages show file names.
std::string inQuotes(const std::string& text);

// Opens a file for reading with its streams described. Returns null with `error` set (naming the
// file) when it cannot be read.
InputPtr openInput(const std::string& path, std::string& error);

// A movie file being written under its partial name and renamed to its own name once complete.
// Destroyed before finish() succeeded, it removes what it wrote.
class PartialOutput {
  public:
    // `failurePrefix` starts the text of every failure to write or finish the file.
    PartialOutput(std::string fileName, std::string muxer, std::string failurePrefix = {});
    ~PartialOutput();
    PartialOutput(const PartialOutput&) = delete;
    PartialOutput& operator=(const PartialOutput&) = delete;

    // Creates the muxer and the partial file. Returns the error text, empty on success.
    std::string create();
    // The two steps of create(), for a writer with texts of its own: creates the muxer (false
    // when this build lacks it), then the partial file (FFmpeg's error code, 0 on success).
    bool createMuxer();
    int createFile();
    AVFormatContext& context() { return *output_; }
    const std::string& fileName() const { return fileName_; }

    // What made the file, written into its metadata by writeHeader(); with it, finish() puts
    // the frames the file holds into the record (setWrittenFrames()).
    void setRecord(std::optional<MovieRecord> record) { record_ = std::move(record); }
    void setWrittenFrames(long long frames) { writtenFrames_ = frames; }

    // Writes the file header once the streams are set up; `options` are the muxer's. Returns the
    // error text, empty on success.
    std::string writeHeader(const char* options);
    // The same with the options as a dictionary; returns FFmpeg's error code, 0 on success.
    int writeHeader(Dictionary& options);

    // Writes a packet (stream index and times already set for the stream). Returns the error
    // text, empty on success; the first failure is kept and makes finish() fail.
    std::string write(AVPacket& packet);

    // Writes the trailer, closes the file and gives it its own name. Returns the error text,
    // empty on success; on failure (or without a header) the partial file is gone.
    std::string finish();

    // The text of a failure to write to the file.
    std::string writeFailure(int code);
    // Whether something meant for the file could not be written to it.
    bool failed() const { return !ioError_.empty(); }

  private:
    class File;

    std::string fileName_;
    std::string partialName_;
    std::string muxer_;
    std::string failurePrefix_;
    std::unique_ptr<File> file_;
    OutputPtr output_;
    bool created_ = false;
    bool headerWritten_ = false;
    std::string ioError_;
    std::optional<MovieRecord> record_;
    long long writtenFrames_ = 0;
};

}  // namespace zr::ffmpeg
