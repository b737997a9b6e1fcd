#pragma once

#include <string>

#include "output/movie_record.h"

namespace zr {

class FrameImage;

// How a frame or the end of a file went; errorText() says what went wrong after kFailed.
enum class WriteStatus { kOk, kFailed };

// Where a writer is: kClosed (closed or failed, every frame fails), kWaitingForFirstFrame
// (nothing created yet) or kWriting (the file is open and holds frames).
enum class WriterState { kClosed, kWaitingForFirstFrame, kWriting };

// One movie file that frames are appended to, whatever its container: what a render needs of
// the writer of each of its files. writeFrame() and close() return WriteStatus::kOk or
// WriteStatus::kFailed with errorText() saying what went wrong.
class MovieFileWriter {
  public:
    virtual ~MovieFileWriter() = default;

    // Appends a frame; the first one fixes the size of every frame of the file.
    [[nodiscard]] virtual WriteStatus writeFrame(const FrameImage& frame) = 0;
    // Finishes the file and gives it its own name; may run more than once.
    virtual WriteStatus close() = 0;
    virtual const std::string& errorText() const = 0;
    virtual const std::string& fileName() const = 0;
    // What made the file, kept in its metadata with the frames it holds once it is finished.
    // Set before the first frame; a file without one carries no record.
    virtual void setRecord(const MovieRecord& record) = 0;
    virtual WriterState state() const = 0;
};

}  // namespace zr
