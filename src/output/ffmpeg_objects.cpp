#include "output/ffmpeg_objects.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "output/avi_writer.h"
#include "support/frame_image.h"

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

namespace zr::ffmpeg {

std::string message(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

InputPtr openInput(const std::string& path, std::string& error) {
    AVFormatContext* raw = nullptr;
    const int opened = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (opened < 0) {
        error = "cannot read " + inQuotes(path) + ": " + message(opened);
        return nullptr;
    }
    InputPtr input(raw);
    const int described = avformat_find_stream_info(input.get(), nullptr);
    if (described < 0) {
        error = "cannot read the streams of " + inQuotes(path) + ": " + message(described);
        return nullptr;
    }
    return input;
}

// The partial file, written by the muxer through a context of our own: packets go to the file
// straight from the muxer's data ("direct"), not copied through the context's buffer first, and
// in one write however large (FFmpeg's own file output takes at most 256 KiB a write that way).
class PartialOutput::File {
  public:
    File() = default;
    ~File() {
        freeContext();
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Creates `path`, which must not exist, and never through a link. FFmpeg's error code, 0
    // on success.
    int create(const std::string& path) {
        descriptor_ =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor_ < 0) {
            return AVERROR(errno);
        }
        constexpr int kBufferBytes = 256 * 1024;  // headers and index entries gather here
        auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
        context_ = buffer == nullptr ? nullptr
                                     : avio_alloc_context(buffer, kBufferBytes, 1, this, nullptr,
                                                          &File::writePacket, &File::seek);
        if (context_ == nullptr) {
            av_free(buffer);
            return AVERROR(ENOMEM);
        }
        context_->direct = 1;
        return 0;
    }

    AVIOContext* context() const { return context_; }

    // Writes what the context holds and closes the file. FFmpeg's error code, 0 on success.
    int close() {
        avio_flush(context_);
        const int error = context_->error;
        freeContext();
        const int closed = ::close(std::exchange(descriptor_, -1));
        if (error < 0) {
            return error;
        }
        return closed < 0 ? AVERROR(errno) : 0;
    }

  private:
    void freeContext() {
        if (context_ != nullptr) {
            av_freep(&context_->buffer);
            avio_context_free(&context_);
        }
    }

    // The bytes a write callback receives: constant from FFmpeg 7 (libavformat 61) on.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    using WrittenBytes = const std::uint8_t*;
#else
    using WrittenBytes = std::uint8_t*;
#endif

    static int writePacket(void* opaque, WrittenBytes data, int size) {
        const int descriptor = static_cast<File*>(opaque)->descriptor_;
        int done = 0;
        while (done < size) {
            const ssize_t written =
                ::write(descriptor, data + done, static_cast<std::size_t>(size - done));
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return written < 0 ? AVERROR(errno) : AVERROR(EIO);
            }
            done += static_cast<int>(written);
        }
        return done;
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
        const int descriptor = static_cast<File*>(opaque)->descriptor_;
        if ((whence & AVSEEK_SIZE) != 0) {
            struct stat status {};
            return ::fstat(descriptor, &status) < 0 ? AVERROR(errno) : status.st_size;
        }
        const off_t position = ::lseek(descriptor, offset, whence & ~AVSEEK_FORCE);
        return position < 0 ? AVERROR(errno) : position;
    }

    int descriptor_ = -1;
    AVIOContext* context_ = nullptr;
};

PartialOutput::PartialOutput(std::string fileName, std::string muxer, std::string failurePrefix)
    : fileName_(std::move(fileName)),
      partialName_(partialMovieName(fileName_)),
      muxer_(std::move(muxer)),
      failurePrefix_(std::move(failurePrefix)) {}

PartialOutput::~PartialOutput() {
    output_.reset();
    file_.reset();
    if (created_) {
        std::error_code ignored;
        std::filesystem::remove(partialName_, ignored);
    }
}

bool PartialOutput::createMuxer() {
    AVFormatContext* raw = nullptr;
    // The muxer knows the file by its partial name: MP4 and QuickTime read it back to move the
    // index to the front.
    if (avformat_alloc_output_context2(&raw, nullptr, muxer_.c_str(), partialName_.c_str()) < 0 ||
        raw == nullptr) {
        return false;
    }
    output_.reset(raw);
    return true;
}

int PartialOutput::createFile() {
    // A file left by an interrupted run goes first, so that a link of that name cannot send the
    // movie elsewhere.
    std::error_code ignored;
    std::filesystem::remove(partialName_, ignored);
    auto file = std::make_unique<File>();
    const int opened = file->create(partialName_);
    if (opened < 0) {
        return opened;
    }
    file_ = std::move(file);
    output_->pb = file_->context();
    output_->flags |= AVFMT_FLAG_CUSTOM_IO;
    created_ = true;
    return 0;
}

std::string PartialOutput::create() {
    if (!createMuxer()) {
        return "cannot start a " + muxer_ + " file for " + inQuotes(fileName_) +
               ": this build's FFmpeg libraries lack its muxer";
    }
    const int opened = createFile();
    if (opened < 0) {
        return "cannot create the movie file " + inQuotes(fileName_) + ": " + message(opened) +
               "; check that the folder exists and is writable";
    }
    return {};
}

std::string PartialOutput::writeFailure(int code) {
    std::string text = failurePrefix_ + "could not write the movie file " + inQuotes(fileName_) +
                       ": " + message(code) + "; check that the disk has space";
    if (ioError_.empty()) {
        ioError_ = text;
    }
    return text;
}

std::string PartialOutput::writeHeader(const char* options) {
    Dictionary dictionary;
    if (options != nullptr) {
        dictionary.parse(options);
    }
    const int written = writeHeader(dictionary);
    if (written < 0) {
        return "cannot start the movie file " + inQuotes(fileName_) + ": " + message(written);
    }
    return {};
}

int PartialOutput::writeHeader(Dictionary& options) {
    if (record_) {
        av_dict_set(&output_->metadata, kMovieRecordKey, movieRecordText(*record_).c_str(), 0);
        if (muxer_ == "matroska" || muxer_ == "webm") {
            // The record's frame count is put in place once the file is complete; a checksum
            // over the tags would no longer match it.
            options.set("write_crc32", "0");
        }
    }
    const int written = avformat_write_header(output_.get(), options.address());
    if (written < 0) {
        return written;
    }
    headerWritten_ = true;
    return 0;
}

std::string PartialOutput::write(AVPacket& packet) {
    if (!ioError_.empty()) {
        av_packet_unref(&packet);
        return ioError_;
    }
    const int written = av_interleaved_write_frame(output_.get(), &packet);
    av_packet_unref(&packet);
    if (written < 0 || output_->pb->error < 0) {
        return writeFailure(written < 0 ? written : output_->pb->error);
    }
    return {};
}

std::string PartialOutput::finish() {
    if (!headerWritten_) {
        output_.reset();
        return ioError_.empty() ? "the movie file " + inQuotes(fileName_) + " was never started"
                                : ioError_;
    }
    MovieRecord completed;
    if (record_) {
        completed = *record_;
        completed.written = writtenFrames_;
        // MP4 and QuickTime write their tags with the index, at the end.
        av_dict_set(&output_->metadata, kMovieRecordKey, movieRecordText(completed).c_str(), 0);
    }
    if (ioError_.empty()) {
        const int trailer = av_write_trailer(output_.get());
        if (trailer < 0) {
            writeFailure(trailer);
        }
    }
    if (ioError_.empty()) {
        avio_flush(output_->pb);
        if (output_->pb->error < 0) {
            writeFailure(output_->pb->error);
        }
    }
    output_->pb = nullptr;
    const int closed = file_->close();
    file_.reset();
    if (closed < 0 && ioError_.empty()) {
        writeFailure(closed);
    }
    output_.reset();
    if (ioError_.empty() && record_) {
        std::string error;
        if (!replaceRecordInFile(partialName_, movieRecordText(*record_),
                                 movieRecordText(completed), error)) {
            ioError_ = failurePrefix_ + error;
        }
    }
    if (!ioError_.empty()) {
        return ioError_;  // the destructor removes the partial file
    }
    // The movie is whole: after a failed rename it stays under the partial name.
    created_ = false;
    const std::string published = publishMovieFile(partialName_, fileName_);
    return published.empty() ? published : failurePrefix_ + published;
}

ScalerPtr makeFrameConverter(int width, int height, AVPixelFormat target, int flags, int threads) {
    ScalerPtr scaler(sws_alloc_context());
    if (!scaler) {
        return nullptr;
    }
    if (threads <= 0) {
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    SwsContext* context = scaler.get();
    const bool set = av_opt_set_int(context, "srcw", width, 0) >= 0 &&
                     av_opt_set_int(context, "srch", height, 0) >= 0 &&
                     av_opt_set_int(context, "src_format", AV_PIX_FMT_BGR24, 0) >= 0 &&
                     av_opt_set_int(context, "dstw", width, 0) >= 0 &&
                     av_opt_set_int(context, "dsth", height, 0) >= 0 &&
                     av_opt_set_int(context, "dst_format", target, 0) >= 0 &&
                     av_opt_set_int(context, "sws_flags", flags, 0) >= 0 &&
                     av_opt_set_int(context, "threads", threads, 0) >= 0;
    if (!set || sws_init_context(context, nullptr, nullptr) < 0) {
        return nullptr;
    }
    return scaler;
}

int convertPicture(SwsContext* scaler, const FrameImage& image, AVFrame& frame,
                   std::vector<std::uint8_t>& paddedCopy) {
    const std::size_t bytes = image.sizeBytes();
    if (paddedCopy.size() < bytes + AV_INPUT_BUFFER_PADDING_SIZE) {
        paddedCopy.assign(bytes + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    }
    std::memcpy(paddedCopy.data(), image.data(), bytes);
    // The threaded conversion takes whole frames; this one lends the copy without owning it.
    FramePtr source(av_frame_alloc());
    if (!source) {
        return AVERROR(ENOMEM);
    }
    source->buf[0] = av_buffer_create(
        paddedCopy.data(), static_cast<int>(paddedCopy.size()), [](void*, std::uint8_t*) {},
        nullptr, AV_BUFFER_FLAG_READONLY);
    if (source->buf[0] == nullptr) {
        return AVERROR(ENOMEM);
    }
    source->data[0] = paddedCopy.data();
    source->linesize[0] = image.stride();
    source->width = image.width();
    source->height = image.height();
    source->format = AV_PIX_FMT_BGR24;
    const int converted = sws_scale_frame(scaler, &frame, source.get());
    return converted < 0 ? converted : 0;
}

}  // namespace zr::ffmpeg
