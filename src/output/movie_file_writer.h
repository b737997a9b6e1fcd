#pragma once

#include <string>

#include "output/movie_record.h"

namespace zr {

class FrameImage;

// Result codes of the writers: 0 for success, the generic failure code otherwise.
inline constexpr int kAviOk = 0;
inline constexpr int kAviFailed = static_cast<int>(0x80004005u);

// One movie file that frames are appended to, whatever its container: what a render needs of
// the writer of each of its files. writeFrame() and close() return kAviOk (0) or kAviFailed with
// errorText() saying what went wrong.
class MovieFileWriter {
  public:
    virtual ~MovieFileWriter() = default;

    // Appends a frame; the first one fixes the size of every frame of the file.
    virtual int writeFrame(const FrameImage& frame) = 0;
    // Finishes the file and gives it its own name; may run more than once.
    virtual int close() = 0;
    virtual const std::string& errorText() const = 0;
    virtual const std::string& fileName() const = 0;
    // What made the file, kept in its metadata with the frames it holds once it is finished.
    // Set before the first frame; a file without one carries no record.
    virtual void setRecord(const MovieRecord& record) = 0;
    // 0: closed or failed, every frame fails; 1: waiting for the first frame; 2: writing.
    virtual int state() const = 0;
};

}  // namespace zr
