#pragma once

#include <memory>
#include <optional>
#include <string>

#include "output/movie_file_writer.h"
#include "output/movie_format.h"
#include "output/movie_record.h"
#include "settings/movie_spec.h"
#include "support/thread_pool.h"

namespace zr {

// Name of split file `index` of a movie whose first file is `firstFile`: the first file itself,
// then the same name with "_01", "_02", ... ("_100" once two digits no longer hold the number)
// before the extension, in the same folder: "film.avi", "film_01.avi", ...
std::string splitMovieFileName(const std::string& firstFile, int index);

// The file beside a movie file that says why the movie file is not whole (a stop cut it short,
// or it lacks the detail of a key frame that could not be used): while it exists the movie file
// does not count as complete, and is not joined.
std::string unfinishedMarkerPath(const std::string& moviePath);

// The movie files of a run: their names, their container and codec, and the stretch of the
// soundtrack each one carries. Made from the movie's description; check() looks at everything
// a file needs before the first frame is made.
// The threads the writers of a movie's files may use.
struct WriterThreads {
    ThreadShare frames;  // MJPEG frames of an AVI file coded side by side
    int encoder = 0;     // FFmpeg's encoders and converters; 0: each counts the processors itself
};

class MovieFiles {
  public:
    explicit MovieFiles(const OutputSpec& output, WriterThreads threads = {});

    // Empty when the files can be written with frames of width x height, else what is wrong,
    // naming the file and what to do: an extension of no container, a folder that does not
    // exist, a codec the container cannot hold or this build lacks, a quality, preset or pixel
    // format the codec refuses, a frame size it cannot code, a soundtrack that cannot be read or
    // holds no sound, or a soundtrack or codec options for an AVI movie.
    std::string check(int frameWidth, int frameHeight);

    // The path of split file `index`.
    std::string path(int index) const { return splitMovieFileName(firstFile_, index); }
    // The container of the files; null for an extension of none.
    const ContainerInfo* container() const { return container_; }
    bool avi() const { return container_ != nullptr && container_->id == Container::kAvi; }

    // The number of frames the run is planned to make: each file then carries the stretch of
    // the soundtrack that belongs to its frames, and the last one fades it out.
    void setPlannedFrames(long long frames) { plannedFrames_ = frames; }
    long long plannedFrames() const { return plannedFrames_; }
    // The fingerprint of what decides the movie's frames and sound: with one, every file the
    // writers of open() make carries a record (see MovieRecord).
    void setFingerprint(std::string fingerprint) { fingerprint_ = std::move(fingerprint); }

    // The number of files of the planned frames, and the frames the plan gives file `index`.
    int fileCount() const;
    long long framesOfFile(int index) const;
    // The record split file `index` carries once it is complete.
    MovieRecord wholeRecord(int index) const;

    // The writer of split file `index`, nothing written yet, with the codec and options of the
    // movie's description (every file of a movie alike). Null for the containers other than AVI
    // until check() has accepted the files.
    std::unique_ptr<MovieFileWriter> open(int index) const;

  private:
    std::unique_ptr<MovieFileWriter> openWriter(int index) const;

    OutputSpec output_;
    std::string firstFile_;
    std::string soundtrack_;
    const ContainerInfo* container_;
    std::optional<VideoFormat> format_;
    long long plannedFrames_ = 0;
    WriterThreads threads_;
    std::string fingerprint_;
};

}  // namespace zr
