#include "output/movie_writer.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "output/ffmpeg_objects.h"
#include "output/frame_pipeline.h"
#include "support/frame_image.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
}

namespace zr {

namespace {

using ffmpeg::inQuotes;

// The quality scale, the preset and the threads of each encoder.
void applyCodecOptions(AVCodecContext& context, const VideoFormat& format, int threads) {
    const std::string_view encoder = format.codec->encoderName;
    void* options = context.priv_data;
    context.thread_count = threads;  // 0: as many as the processors the process may use
    context.thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (encoder == "libx264" || encoder == "libx265") {
        av_opt_set_double(options, "crf", format.crf, 0);
        av_opt_set(options, "preset", format.preset.c_str(), 0);
        if (encoder == "libx265") {
            av_opt_set(options, "x265-params", "log-level=error", 0);
        }
    } else if (encoder == "libsvtav1") {
        av_opt_set_int(options, "crf", format.crf, 0);
        av_opt_set(options, "preset", format.preset.c_str(), 0);
    } else if (encoder == "libvpx-vp9") {
        context.bit_rate = 0;  // constant quality
        av_opt_set_int(options, "crf", format.crf, 0);
        av_opt_set(options, "deadline", format.preset.c_str(), 0);
        av_opt_set_int(options, "row-mt", 1, 0);
        context.thread_count =
            threads > 0 ? threads
                        : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    } else if (encoder == "prores_ks") {
        av_opt_set(options, "profile", format.preset.c_str(), 0);
    } else if (encoder == "ffv1") {
        // The archival kind of FFV1: slices coded on threads, each with a checksum.
        context.level = 3;
        av_opt_set_int(options, "slicecrc", 1, 0);
    }
}

int swsMatrix(int matrix) {
    return matrix == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_SMPTE170M;
}

}  // namespace

class MovieWriter::Movie {
  public:
    Movie(std::string fileName, const MovieWriterSettings& settings,
          std::optional<MovieRecord> record, int width, int height)
        : file_(std::move(fileName), std::string(settings.format.container->muxer)),
          settings_(settings),
          record_(std::move(record)),
          width_(width),
          height_(height) {}

    ~Movie() { pipeline_.reset(); }

    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    bool soundtrackCopied() const { return sound_ && sound_->copied(); }

    // Creates the file, the streams and the encoders and writes the header. Returns the error
    // text, empty on success.
    std::string open() {
        const VideoFormat& format = settings_.format;
        const std::string sizeProblem = frameSizeProblem(format, width_, height_);
        if (!sizeProblem.empty()) {
            return "cannot write " + inQuotes(file_.fileName()) + ": " + sizeProblem;
        }
        if (settings_.framesPerSecond <= 0) {
            return "cannot write " + inQuotes(file_.fileName()) + " at " +
                   std::to_string(settings_.framesPerSecond) + " frames a second";
        }
        if (std::string error = file_.create(); !error.empty()) {
            return error;
        }
        file_.setRecord(record_);
        if (std::string error = startEncoder(); !error.empty()) {
            return error;
        }
        if (settings_.soundtrack) {
            std::string error;
            sound_ = SoundtrackWriter::add(file_.context(), *format.container,
                                           *settings_.soundtrack, file_.fileName(), error);
            if (!sound_) {
                return error;
            }
        }
        const char* muxerOptions = format.container->indexAtFront ? "movflags=+faststart" : nullptr;
        if (std::string error = file_.writeHeader(muxerOptions); !error.empty()) {
            return error;
        }
        packet_.reset(av_packet_alloc());
        if (!packet_) {
            return "out of memory";
        }
        pipeline_ = std::make_unique<FramePipeline>(
            [this](const FrameImage& image, int index) { return encode(image, index); });
        return {};
    }

    void submit(const FrameImage& frame, int index) { pipeline_->submit(frame, index); }

    std::string takeError() { return pipeline_->takeError(); }

    // Encodes what is still queued and the soundtrack up to the end of the `frames` frames, and
    // finishes the file. Returns the error text, empty on success; after a failure the file is
    // gone.
    std::string finish(int frames) {
        pipeline_->stop();
        std::string error = pipeline_->takeError();
        if (error.empty()) {
            // Encoders that hold frames back give them up now.
            const int sent = avcodec_send_frame(codec_.get(), nullptr);
            error = sent < 0 ? encodeFailure(sent) : drainPackets();
        }
        if (error.empty() && sound_) {
            error = sound_->finish(static_cast<double>(frames) / settings_.framesPerSecond,
                                   &writePacket, &file_);
        }
        if (!error.empty()) {
            return error;  // the partial file is removed with file_
        }
        file_.setWrittenFrames(frames);
        return file_.finish();
    }

  private:
    static std::string writePacket(void* file, AVPacket& packet) {
        return static_cast<ffmpeg::PartialOutput*>(file)->write(packet);
    }

    std::string startEncoder() {
        const VideoFormat& format = settings_.format;
        const std::string encoderName(format.codec->encoderName);
        const AVCodec* encoder = avcodec_find_encoder_by_name(encoderName.c_str());
        if (encoder == nullptr) {
            return "this build's FFmpeg libraries lack the encoder " + inQuotes(encoderName);
        }
        stream_ = avformat_new_stream(&file_.context(), nullptr);
        codec_.reset(avcodec_alloc_context3(encoder));
        frame_.reset(av_frame_alloc());
        if (stream_ == nullptr || !codec_ || !frame_) {
            return "out of memory";
        }
        const auto pixelFormat = static_cast<AVPixelFormat>(format.pixelFormat);
        const ColorTags tags = colorTagsFor(format, width_, height_);
        AVCodecContext& context = *codec_;
        context.width = width_;
        context.height = height_;
        context.pix_fmt = pixelFormat;
        context.time_base = AVRational{1, settings_.framesPerSecond};
        context.framerate = AVRational{settings_.framesPerSecond, 1};
        context.sample_aspect_ratio = AVRational{1, 1};
        context.colorspace = static_cast<AVColorSpace>(tags.matrix);
        context.color_primaries = static_cast<AVColorPrimaries>(tags.primaries);
        context.color_trc = static_cast<AVColorTransferCharacteristic>(tags.transfer);
        context.color_range = static_cast<AVColorRange>(tags.range);
        applyCodecOptions(context, format, settings_.threads);
        if (file_.context().oformat->flags & AVFMT_GLOBALHEADER) {
            context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        const int opened = avcodec_open2(codec_.get(), encoder, nullptr);
        if (opened < 0) {
            return std::string(format.codec->description) + " cannot code " +
                   std::to_string(width_) + " x " + std::to_string(height_) + " frames as " +
                   av_get_pix_fmt_name(pixelFormat) + " for " + inQuotes(file_.fileName()) + ": " +
                   ffmpeg::message(opened) + "; choose another codec, size or --pix-fmt";
        }
        if (avcodec_parameters_from_context(stream_->codecpar, codec_.get()) < 0) {
            return "out of memory";
        }
        stream_->time_base = context.time_base;
        stream_->avg_frame_rate = context.framerate;
        if (format.codec->encoderName == "libx265" &&
            (format.container->id == Container::kMp4 || format.container->id == Container::kMov)) {
            // The tag players of MP4 and QuickTime files look for.
            stream_->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
        }

        frame_->format = pixelFormat;
        frame_->width = width_;
        frame_->height = height_;
        // Some encoders (ProRes) take the colour description from each frame.
        frame_->colorspace = context.colorspace;
        frame_->color_primaries = context.color_primaries;
        frame_->color_trc = context.color_trc;
        frame_->color_range = context.color_range;
        if (av_frame_get_buffer(frame_.get(), 0) < 0) {
            return "out of memory";
        }
        scaler_ = ffmpeg::makeFrameConverter(width_, height_, pixelFormat,
                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP,
                                             settings_.threads);
        if (!scaler_) {
            return "cannot convert frames to " + std::string(av_get_pix_fmt_name(pixelFormat));
        }
        if (format.colorModel == ColorModel::kYuv) {
            sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                     sws_getCoefficients(swsMatrix(tags.matrix)),
                                     tags.range == AVCOL_RANGE_JPEG ? 1 : 0, 0, 1 << 16, 1 << 16);
        }
        return {};
    }

    std::string encodeFailure(int code) const {
        return "a frame of " + inQuotes(file_.fileName()) +
               " could not be encoded: " + ffmpeg::message(code);
    }

    // Runs on the pipeline's thread.
    std::string encode(const FrameImage& image, int index) {
        const int writable = av_frame_make_writable(frame_.get());
        if (writable < 0) {
            return encodeFailure(writable);
        }
        const int converted = ffmpeg::convertPicture(scaler_.get(), image, *frame_, paddedPicture_);
        if (converted < 0) {
            return encodeFailure(converted);
        }
        frame_->pts = index;
        const int sent = avcodec_send_frame(codec_.get(), frame_.get());
        if (sent < 0) {
            return encodeFailure(sent);
        }
        std::string error = drainPackets();
        if (error.empty() && sound_) {
            error = sound_->writeUntil(static_cast<double>(index + 1) / settings_.framesPerSecond,
                                       &writePacket, &file_);
        }
        return error;
    }

    std::string drainPackets() {
        for (;;) {
            const int received = avcodec_receive_packet(codec_.get(), packet_.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return {};
            }
            if (received < 0) {
                return encodeFailure(received);
            }
            av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            std::string error = file_.write(*packet_);
            if (!error.empty()) {
                return error;
            }
        }
    }

    ffmpeg::PartialOutput file_;
    const MovieWriterSettings& settings_;
    std::optional<MovieRecord> record_;
    int width_;
    int height_;
    AVStream* stream_ = nullptr;  // owned by the muxer
    ffmpeg::CodecContextPtr codec_;
    ffmpeg::FramePtr frame_;
    ffmpeg::PacketPtr packet_;
    ffmpeg::ScalerPtr scaler_;
    std::vector<std::uint8_t> paddedPicture_;  // the picture handed to the scaler
    std::unique_ptr<SoundtrackWriter> sound_;
    std::unique_ptr<FramePipeline> pipeline_;  // last: its thread stops before the rest goes
};

MovieWriter::MovieWriter(std::string fileName, MovieWriterSettings settings)
    : fileName_(std::move(fileName)),
      settings_(std::move(settings)),
      uncaughtExceptions_(std::uncaught_exceptions()) {}

MovieWriter::~MovieWriter() {
    if (std::uncaught_exceptions() > uncaughtExceptions_) {
        // The run is being torn down by an error: whatever was written is not a finished movie.
        movie_.reset();
        state_ = WriterState::kClosed;
        return;
    }
    close();
}

WriteStatus MovieWriter::fail(std::string text) {
    errorText_ = std::move(text);
    return WriteStatus::kFailed;
}

WriteStatus MovieWriter::writeFrame(const FrameImage& frame) {
    if (state_ == WriterState::kClosed) {
        return WriteStatus::kFailed;
    }
    if (state_ == WriterState::kWaitingForFirstFrame) {
        std::string error;
        if (frame.empty() || settings_.format.codec == nullptr ||
            av_image_check_size(static_cast<unsigned>(frame.width()),
                                static_cast<unsigned>(frame.height()), 0, nullptr) < 0) {
            error = "cannot write " + inQuotes(fileName_) + ": no frame size or no codec";
        } else {
            try {
                movie_ = std::make_unique<Movie>(fileName_, settings_, record_, frame.width(),
                                                 frame.height());
                error = movie_->open();
            } catch (const std::bad_alloc&) {
                error = "out of memory";
            }
        }
        if (!error.empty()) {
            movie_.reset();
            state_ = WriterState::kClosed;
            return fail(std::move(error));
        }
        soundtrackCopied_ = movie_->soundtrackCopied();
        state_ = WriterState::kWriting;
    }
    const int index = frameIndex_++;
    if (frame.width() != movie_->width() || frame.height() != movie_->height()) {
        return fail("a frame of " + std::to_string(frame.width()) + " x " +
                    std::to_string(frame.height()) + " pixels cannot go into the movie " +
                    inQuotes(fileName_) + " of " + std::to_string(movie_->width()) + " x " +
                    std::to_string(movie_->height()) + " pixels");
    }
    std::string earlier = movie_->takeError();
    try {
        movie_->submit(frame, index);
    } catch (const std::bad_alloc&) {
        return fail("out of memory");
    }
    if (!earlier.empty()) {
        return fail(std::move(earlier));
    }
    return WriteStatus::kOk;
}

WriteStatus MovieWriter::close() {
    state_ = WriterState::kClosed;
    if (!movie_) {
        return WriteStatus::kOk;
    }
    std::string error = movie_->finish(frameIndex_);
    movie_.reset();
    if (!error.empty()) {
        return fail(std::move(error));
    }
    return WriteStatus::kOk;
}

}  // namespace zr
