#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/movie_file.h"
#include "output/movie_file_writer.h"
#include "support/thread_pool.h"

namespace zr {

class FrameImage;

// Error texts of the writer.
inline constexpr std::string_view kAviNoMemoryText = "Unable to Allocate Memory";
inline constexpr std::string_view kAviCreateFileText = "Unable to Create the Movie File";
inline constexpr std::string_view kAviCreateStreamText = "Unable to Create Stream";
inline constexpr std::string_view kAviCreateCompressedText = "Unable to Create Compressed Stream";
inline constexpr std::string_view kAviNoCompressorText = "A suitable compressor cannot be found.";
inline constexpr std::string_view kAviMemoryText =
    "There is not enough memory to complete the operation.";
inline constexpr std::string_view kAviUnsupportedText =
    "Compression is not supported for this type of data.";

// Bytes of one row of a bottom-up bitmap of `width` pixels at `bitCount` bits a pixel, padded to
// a multiple of 4: 304 for 101 pixels at 24 bits, 404 at 32 bits.
constexpr int dibStride(int width, int bitCount) {
    return ((width * bitCount + 31) / 32) * 4;
}

// The frame as a bottom-up bitmap: rows from the bottom of the picture up, each padded to
// dibStride(), pixels blue, green, red (24 bits) or blue, green, red, 0 (32 bits). `bitCount` is
// 24 or 32; `out` receives dibStride(width, bitCount) x height bytes.
void frameToDib(const FrameImage& frame, int bitCount, std::vector<std::uint8_t>& out);

// One AVI movie file. Nothing is created until the first frame arrives; that frame fixes the
// size of every frame of the file. The file is written under partialMovieName() and renamed to
// its own name by close() (or destruction) once the last frame and the index are on disk, so an
// interrupted run never leaves a file under the final name that looks finished.
//
// Frames are encoded on a thread of the writer's own while the caller draws the next one. A
// failure to encode or store a frame is reported by the next writeFrame() or by close(); the
// error text then says what went wrong.
class AviWriter : public MovieFileWriter {
  public:
    // `handler` is the compressor's four-character code ("MSVC" for Microsoft Video 1); a shorter
    // code is padded with spaces. `quality` is on 0 ... 100, `keyFrameEvery` the distance between
    // key frames, `bitCount` 24 or 32 (the depth of uncompressed frames).
    // `threads` code several MJPEG frames side by side (by default the writer's thread alone).
    AviWriter(std::string fileName, int bitCount, int framesPerSecond, int keyFrameEvery,
              int quality, std::string_view handler, const ThreadShare& threads = {});
    ~AviWriter() override;

    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Appends a frame. The first call creates the file and the compressed stream for the frame's
    // size. Returns kOk, or kFailed with errorText() set: when the file could not be
    // created (every later call then fails at once), when the frame's size differs from the
    // first frame's, or when an earlier frame could not be encoded or stored.
    WriteStatus writeFrame(const FrameImage& frame) override;

    // The four-character code now in use.
    std::string compressorHandler() const;

    // Finishes the file: waits for the frames still being encoded, writes the index, and gives
    // the file its final name. Returns kOk when the file is complete (or nothing was ever
    // written), kFailed with errorText() set otherwise; an incomplete file is removed. Later
    // frames fail at once. May run more than once.
    WriteStatus close() override;

    const std::string& errorText() const override { return errorText_; }
    const std::string& fileName() const override { return fileName_; }
    void setRecord(const MovieRecord& record) override { record_ = record; }
    WriterState state() const override { return state_; }
    int frameIndex() const { return frameIndex_; }
    int bitCount() const { return bitCount_; }
    int framesPerSecond() const { return framesPerSecond_; }
    int keyFrameEvery() const { return keyFrameEvery_; }
    int quality() const { return quality_; }

  private:
    class Movie;

    WriteStatus openAndWrite(const FrameImage& frame);
    WriteStatus write(const FrameImage& frame);
    WriteStatus fail(std::string text);

    std::string fileName_;
    std::optional<MovieRecord> record_;
    int bitCount_;
    int framesPerSecond_;
    int keyFrameEvery_;
    int quality_;
    std::string handler_;
    ThreadShare threads_;
    std::string errorText_;
    int frameIndex_ = 0;
    WriterState state_ = WriterState::kWaitingForFirstFrame;
    int uncaughtExceptions_;
    std::unique_ptr<Movie> movie_;
};

}  // namespace zr
