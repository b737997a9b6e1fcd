#include "output/avi_writer.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "output/avi_encoder_setup.h"
#include "output/compressors.h"
#include "output/ffmpeg_objects.h"
#include "output/mjpeg_frame_coder.h"
#include "output/movie_record.h"
#include "support/frame_image.h"
#include "support/thread_pool.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace zr {

namespace {

// Frames waiting for the encoder thread. Two are enough to keep it busy while the next frame is
// drawn; more would only hold memory.
constexpr std::size_t kQueuedFrames = 2;

using ffmpeg::inQuotes;

void writeDibRows(const FrameImage& frame, int bitCount, std::uint8_t* out) {
    const int width = frame.width();
    const int height = frame.height();
    const std::size_t stride = static_cast<std::size_t>(dibStride(width, bitCount));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = frame.row(height - 1 - y);
        std::uint8_t* target = out + static_cast<std::size_t>(y) * stride;
        if (bitCount == 24) {
            const std::size_t used = static_cast<std::size_t>(width) * 3;
            std::memcpy(target, source, used);
            std::memset(target + used, 0, stride - used);
        } else {
            for (int x = 0; x < width; ++x) {
                target[0] = source[0];
                target[1] = source[1];
                target[2] = source[2];
                target[3] = 0;
                source += 3;
                target += 4;
            }
        }
    }
}

using ffmpeg::CodecContextPtr;
using ffmpeg::FramePtr;
using ffmpeg::PacketPtr;
using ffmpeg::ScalerPtr;

}  // namespace

void frameToDib(const FrameImage& frame, int bitCount, std::vector<std::uint8_t>& out) {
    out.resize(static_cast<std::size_t>(dibStride(frame.width(), bitCount)) * frame.height());
    writeDibRows(frame, bitCount, out.data());
}

// The open movie file: the muxer, the encoder (none for uncompressed frames) and the thread that
// encodes and stores the frames handed to it.
class AviWriter::Movie {
  public:
    struct Settings {
        std::string fileName;
        const Compressor* compressor;
        int bitCount;
        int framesPerSecond;
        int keyFrameEvery;
        int quality;
        int width;
        int height;
        ThreadShare threads;                // code several MJPEG frames side by side
        std::optional<MovieRecord> record;  // what made the file, kept in its INFO list
    };

    explicit Movie(Settings settings)
        : settings_(std::move(settings)), output_(settings_.fileName, "avi", "AVIERR_FILEWRITE: ") {
        output_.setRecord(settings_.record);
    }

    // The thread stops before the file it writes to goes (removed unless finished).
    ~Movie() { stopThread(); }

    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;

    int width() const { return settings_.width; }
    int height() const { return settings_.height; }

    // Creates the file, the stream and the encoder and writes the file header. Returns the error
    // text, empty on success.
    std::string open() {
        if (!output_.createMuxer()) {
            return std::string(kAviNoMemoryText);
        }
        const int opened = output_.createFile();
        if (opened < 0) {
            return std::string(kAviCreateFileText) + " " + inQuotes(settings_.fileName) + ": " +
                   ffmpeg::message(opened);
        }
        stream_ = avformat_new_stream(&output_.context(), nullptr);
        if (stream_ == nullptr || settings_.framesPerSecond <= 0) {
            return std::string(kAviCreateStreamText);
        }
        stream_->time_base = AVRational{1, settings_.framesPerSecond};
        av_dict_set(&stream_->metadata, "title", "Video Stream", 0);

        if (settings_.compressor == nullptr) {
            return std::string(kAviNoCompressorText);
        }
        const std::string startText = settings_.compressor->encoderName.empty()
                                          ? startUncompressed()
                                      : codesJpeg() ? startJpeg()
                                                    : startEncoder();
        if (!startText.empty()) {
            return startText;
        }

        ffmpeg::Dictionary options;
        if (settings_.compressor->encoderName.empty()) {
            options.set("flipped_raw_rgb", "1");
        }
        const int header = output_.writeHeader(options);
        if (header < 0) {
            return headerFailureText(header);
        }
        packet_.reset(av_packet_alloc());
        if (!packet_) {
            return std::string(kAviMemoryText);
        }
        worker_ = std::thread([this] { encodeQueuedFrames(); });
        return {};
    }

    // Hands the frame to the encoder thread, waiting while the queue is full: uncompressed frames
    // as the finished packet of DIB rows, the others as a copy of the picture.
    void submit(const FrameImage& frame, int index) {
        std::unique_lock lock(mutex_);
        spaceFree_.wait(lock, [this] { return queue_.size() < kQueuedFrames; });
        QueuedFrame item;
        item.index = index;
        if (!spares_.empty()) {
            item.image = std::move(spares_.back());
            spares_.pop_back();
        }
        lock.unlock();
        if (codec_ || !jpegCoders_.empty()) {
            item.image = frame;
        } else {
            item.dibPacket = makeDibPacket(frame);
        }
        lock.lock();
        queue_.push_back(std::move(item));
        frameQueued_.notify_one();
    }

    // The first failure of the encoder thread since the last call, or empty.
    std::string takeError() {
        const std::lock_guard lock(mutex_);
        return std::exchange(pendingError_, {});
    }

    // Encodes what is still queued, writes the index and closes the file under its partial name,
    // with `written` frames in its record. Returns the error text (empty on success); after a
    // failure the partial file is removed.
    std::string finish(long long written) {
        stopThread();
        std::string error = takeError();
        if (codec_ && !output_.failed()) {
            // Encoders that hold frames back give them up now.
            const int sent = avcodec_send_frame(codec_.get(), nullptr);
            std::string flushError = sent < 0 ? encodeFailureText(sent) : drainPackets();
            if (error.empty()) {
                error = std::move(flushError);
            }
        }
        output_.setWrittenFrames(written);
        // A file that lacks data is removed; a whole one takes its own name.
        std::string finished = output_.finish();
        return finished.empty() ? error : finished;
    }

  private:
    struct QueuedFrame {
        FrameImage image;     // the picture, for an encoder
        PacketPtr dibPacket;  // the frame's DIB rows, when there is no encoder
        int index = 0;
    };

    // The frame's rows as an uncompressed AVI frame stores them, in a buffer that comes back to
    // the pool once the frame is written: the memory of a frame is not mapped afresh each time.
    PacketPtr makeDibPacket(const FrameImage& frame) {
        PacketPtr packet(av_packet_alloc());
        const int size = dibStride(settings_.width, settings_.bitCount) * settings_.height;
        if (!dibBuffers_) {
            dibBuffers_.reset(av_buffer_pool_init(
                static_cast<std::size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE, nullptr));
        }
        AVBufferRef* buffer = dibBuffers_ ? av_buffer_pool_get(dibBuffers_.get()) : nullptr;
        if (!packet || buffer == nullptr) {
            av_buffer_unref(&buffer);
            throw std::bad_alloc();
        }
        packet->buf = buffer;
        packet->data = buffer->data;
        packet->size = size;
        std::memset(packet->data + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
        writeDibRows(frame, settings_.bitCount, packet->data);
        return packet;
    }

    std::string startUncompressed() {
        AVCodecParameters& parameters = *stream_->codecpar;
        parameters.codec_type = AVMEDIA_TYPE_VIDEO;
        parameters.codec_id = AV_CODEC_ID_RAWVIDEO;
        parameters.codec_tag = 0;
        parameters.width = settings_.width;
        parameters.height = settings_.height;
        parameters.bits_per_coded_sample = settings_.bitCount;
        parameters.format = settings_.bitCount == 32 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_BGR24;
        return {};
    }

    // Motion JPEG is coded here with libjpeg, not by FFmpeg's encoder: the rows go in as they
    // are, and frames are coded side by side.
    bool codesJpeg() const { return settings_.compressor->encoderName == "mjpeg"; }

    std::string startJpeg() {
        AVCodecParameters& parameters = *stream_->codecpar;
        parameters.codec_type = AVMEDIA_TYPE_VIDEO;
        parameters.codec_id = AV_CODEC_ID_MJPEG;
        const std::string_view fourcc = settings_.compressor->fourcc;
        parameters.codec_tag = MKTAG(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
        parameters.width = settings_.width;
        parameters.height = settings_.height;
        parameters.format = AV_PIX_FMT_YUVJ420P;
        parameters.color_range = AVCOL_RANGE_JPEG;
        parameters.bits_per_coded_sample = 24;
        for (std::size_t i = 0; i < kQueuedFrames; ++i) {
            jpegCoders_.push_back(std::make_unique<MjpegFrameCoder>(settings_.quality));
        }
        return {};
    }

    // Runs on the encoder thread: codes the frames side by side, one coder each, and stores
    // them in order. Returns the first error text.
    std::string codeJpegFrames(std::vector<QueuedFrame>& items) {
        std::vector<std::string> errors(items.size());
        settings_.threads.atMost(static_cast<int>(items.size()))
            .parallelFor(
                0, static_cast<int>(items.size()),
                [&](int i) {
                    const auto at = static_cast<std::size_t>(i);
                    if (!jpegCoders_[at]->code(items[at].image, errors[at])) {
                        errors[at] = "AVIERR_COMPRESSOR: a frame of " +
                                     inQuotes(settings_.fileName) +
                                     " could not be compressed: " + errors[at];
                    }
                },
                1);
        for (std::size_t at = 0; at < items.size(); ++at) {
            if (!errors[at].empty()) {
                return errors[at];
            }
            const MjpegFrameCoder& coder = *jpegCoders_[at];
            if (av_new_packet(packet_.get(), static_cast<int>(coder.size())) < 0) {
                return std::string(kAviMemoryText);
            }
            std::memcpy(packet_->data, coder.data(), coder.size());
            packet_->pts = packet_->dts = items[at].index;
            packet_->duration = 1;
            packet_->flags |= AV_PKT_FLAG_KEY;
            std::string error = store(AVRational{1, settings_.framesPerSecond});
            if (!error.empty()) {
                return error;
            }
        }
        return {};
    }

    std::string startEncoder() {
        const Compressor& compressor = *settings_.compressor;
        const AVCodec* encoder = avcodec_find_encoder_by_name(compressor.encoderName.c_str());
        if (encoder == nullptr) {
            return std::string(kAviNoCompressorText);
        }
        codec_.reset(avcodec_alloc_context3(encoder));
        frame_.reset(av_frame_alloc());
        if (!codec_ || !frame_) {
            return std::string(kAviMemoryText);
        }
        const EncoderSetup setup = setupFor(compressor.encoderName);
        AVCodecContext& context = *codec_;
        context.width = settings_.width;
        context.height = settings_.height;
        context.pix_fmt = setup.pixelFormat;
        context.time_base = AVRational{1, settings_.framesPerSecond};
        context.framerate = AVRational{settings_.framesPerSecond, 1};
        context.codec_tag = MKTAG(compressor.fourcc[0], compressor.fourcc[1], compressor.fourcc[2],
                                  compressor.fourcc[3]);
        if (setup.pixelFormat == AV_PIX_FMT_YUVJ420P) {
            context.color_range = AVCOL_RANGE_JPEG;
        }
        applyQualityAndKeyFrames(context, compressor.encoderName, settings_.quality,
                                 settings_.keyFrameEvery);
        if (output_.context().oformat->flags & AVFMT_GLOBALHEADER) {
            context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        const int opened = avcodec_open2(codec_.get(), encoder, nullptr);
        if (opened < 0) {
            return compressorFailureText(opened);
        }
        if (avcodec_parameters_from_context(stream_->codecpar, codec_.get()) < 0) {
            return std::string(kAviMemoryText);
        }

        frame_->format = setup.pixelFormat;
        frame_->width = settings_.width;
        frame_->height = settings_.height;
        if (av_frame_get_buffer(frame_.get(), 0) < 0) {
            return std::string(kAviMemoryText);
        }
        scaler_ = ffmpeg::makeFrameConverter(settings_.width, settings_.height, setup.pixelFormat,
                                             SWS_BICUBIC | SWS_ACCURATE_RND);
        if (!scaler_) {
            return std::string(kAviUnsupportedText);
        }
        return {};
    }

    std::string headerFailureText(int code) {
        if (code == AVERROR(ENOMEM)) {
            return std::string(kAviMemoryText);
        }
        if (code == AVERROR(EINVAL) || code == AVERROR(ENOSYS) || code == AVERROR_PATCHWELCOME) {
            return std::string(kAviUnsupportedText);
        }
        return output_.writeFailure(code);
    }

    std::string encodeFailureText(int code) const {
        return "AVIERR_COMPRESSOR: a frame of " + inQuotes(settings_.fileName) +
               " could not be compressed: " + ffmpeg::message(code);
    }

    void stopThread() {
        if (!worker_.joinable()) {
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            finishing_ = true;
        }
        frameQueued_.notify_all();
        worker_.join();
    }

    void encodeQueuedFrames() {
        std::unique_lock lock(mutex_);
        for (;;) {
            frameQueued_.wait(lock, [this] { return !queue_.empty() || finishing_; });
            if (queue_.empty()) {
                return;
            }
            if (!jpegCoders_.empty()) {
                codeQueuedJpegFrames(lock);
                continue;
            }
            QueuedFrame item = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            std::string error;
            try {
                error = item.dibPacket ? storeDibPacket(*item.dibPacket, item.index)
                                       : encode(item.image, item.index);
            } catch (const std::bad_alloc&) {
                error = std::string(kAviMemoryText);
            }
            lock.lock();
            if (!error.empty() && pendingError_.empty()) {
                pendingError_ = std::move(error);
            }
            spares_.push_back(std::move(item.image));
            spaceFree_.notify_one();
        }
    }

    // Runs on the encoder thread with the lock held: takes every queued frame, codes them while
    // the caller queues the next ones, and hands the pictures back as spares.
    void codeQueuedJpegFrames(std::unique_lock<std::mutex>& lock) {
        std::vector<QueuedFrame> items;
        while (!queue_.empty()) {
            items.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
        spaceFree_.notify_all();
        lock.unlock();
        std::string error;
        try {
            error = codeJpegFrames(items);
        } catch (const std::bad_alloc&) {
            error = std::string(kAviMemoryText);
        }
        lock.lock();
        if (!error.empty() && pendingError_.empty()) {
            pendingError_ = std::move(error);
        }
        for (QueuedFrame& item : items) {
            spares_.push_back(std::move(item.image));
        }
    }

    // Runs on the encoder thread.
    std::string storeDibPacket(AVPacket& dibPacket, int index) {
        av_packet_move_ref(packet_.get(), &dibPacket);
        packet_->pts = packet_->dts = index;
        packet_->duration = 1;
        packet_->flags |= AV_PKT_FLAG_KEY;
        return store(AVRational{1, settings_.framesPerSecond});
    }

    // Runs on the encoder thread.
    std::string encode(const FrameImage& image, int index) {
        const int writable = av_frame_make_writable(frame_.get());
        if (writable < 0) {
            return encodeFailureText(writable);
        }
        const int converted = ffmpeg::convertPicture(scaler_.get(), image, *frame_, paddedPicture_);
        if (converted < 0) {
            return encodeFailureText(converted);
        }
        frame_->pts = index;
        // Encoders with a fixed quantiser read it from each frame.
        frame_->quality = codec_->global_quality;
        const int sent = avcodec_send_frame(codec_.get(), frame_.get());
        if (sent < 0) {
            return encodeFailureText(sent);
        }
        return drainPackets();
    }

    std::string drainPackets() {
        for (;;) {
            const int received = avcodec_receive_packet(codec_.get(), packet_.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return {};
            }
            if (received < 0) {
                return encodeFailureText(received);
            }
            std::string error = store(codec_->time_base);
            if (!error.empty()) {
                return error;
            }
        }
    }

    // Appends the packet to the file; the packet's times are in `timeBase`.
    std::string store(AVRational timeBase) {
        av_packet_rescale_ts(packet_.get(), timeBase, stream_->time_base);
        packet_->stream_index = stream_->index;
        return output_.write(*packet_);
    }

    Settings settings_;
    // The file under its partial name until it is whole; failures to write it are kept there.
    ffmpeg::PartialOutput output_;
    ffmpeg::BufferPoolPtr dibBuffers_;  // the buffers of uncompressed frames
    AVStream* stream_ = nullptr;        // owned by output_
    CodecContextPtr codec_;
    FramePtr frame_;
    PacketPtr packet_;
    ScalerPtr scaler_;
    std::vector<std::unique_ptr<MjpegFrameCoder>> jpegCoders_;  // Motion JPEG: one per queued frame
    std::vector<std::uint8_t> paddedPicture_;                   // the picture handed to the scaler

    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable frameQueued_;
    std::condition_variable spaceFree_;
    std::deque<QueuedFrame> queue_;
    std::vector<FrameImage> spares_;
    std::string pendingError_;
    bool finishing_ = false;
};

AviWriter::AviWriter(std::string fileName, int bitCount, int framesPerSecond, int keyFrameEvery,
                     int quality, std::string_view handler, const ThreadShare& threads)
    : fileName_(std::move(fileName)),
      bitCount_(bitCount),
      framesPerSecond_(framesPerSecond),
      keyFrameEvery_(keyFrameEvery),
      quality_(quality),
      handler_(normalizeFourcc(handler)),
      threads_(threads),
      uncaughtExceptions_(std::uncaught_exceptions()) {}

AviWriter::~AviWriter() {
    if (std::uncaught_exceptions() > uncaughtExceptions_) {
        // The run is being torn down by an error: whatever was written is not a finished movie.
        movie_.reset();
        state_ = WriterState::kClosed;
        return;
    }
    close();
}

WriteStatus AviWriter::writeFrame(const FrameImage& frame) {
    switch (state_) {
        case WriterState::kWaitingForFirstFrame:
            return openAndWrite(frame);
        case WriterState::kWriting:
            return write(frame);
        case WriterState::kClosed:
            break;
    }
    return WriteStatus::kFailed;
}

std::string AviWriter::compressorHandler() const {
    return handler_;
}

WriteStatus AviWriter::close() {
    state_ = WriterState::kClosed;
    if (!movie_) {
        return WriteStatus::kOk;
    }
    std::string error = movie_->finish(frameIndex_);
    movie_.reset();
    if (!error.empty()) {
        errorText_ = std::move(error);
        return WriteStatus::kFailed;
    }
    return WriteStatus::kOk;
}

WriteStatus AviWriter::fail(std::string text) {
    errorText_ = std::move(text);
    return WriteStatus::kFailed;
}

WriteStatus AviWriter::openAndWrite(const FrameImage& frame) {
    std::string error;
    if (frame.empty() || (bitCount_ != 24 && bitCount_ != 32) ||
        av_image_check_size(static_cast<unsigned>(frame.width()),
                            static_cast<unsigned>(frame.height()), 0, nullptr) < 0) {
        error = std::string(kAviUnsupportedText);
    } else {
        const Compressor* compressor =
            compressorAvailable(handler_) ? findCompressor(handler_) : nullptr;
        Movie::Settings settings{fileName_,      compressor, bitCount_,     framesPerSecond_,
                                 keyFrameEvery_, quality_,   frame.width(), frame.height(),
                                 threads_,       record_};
        try {
            movie_ = std::make_unique<Movie>(std::move(settings));
            error = movie_->open();
        } catch (const std::bad_alloc&) {
            error = std::string(kAviNoMemoryText);
        }
    }
    if (!error.empty()) {
        movie_.reset();
        state_ = WriterState::kClosed;
        return fail(std::move(error));
    }
    state_ = WriterState::kWriting;
    return write(frame);
}

WriteStatus AviWriter::write(const FrameImage& frame) {
    const int index = frameIndex_++;
    if (frame.width() != movie_->width() || frame.height() != movie_->height()) {
        return fail("AVIERR_BADSIZE: a frame of " + std::to_string(frame.width()) + " x " +
                    std::to_string(frame.height()) + " pixels cannot go into the movie " +
                    inQuotes(fileName_) + " of " + std::to_string(movie_->width()) + " x " +
                    std::to_string(movie_->height()) + " pixels");
    }
    std::string earlier = movie_->takeError();
    try {
        movie_->submit(frame, index);
    } catch (const std::bad_alloc&) {
        return fail(std::string(kAviMemoryText));
    }
    if (!earlier.empty()) {
        return fail(std::move(earlier));
    }
    return WriteStatus::kOk;
}

}  // namespace zr
