#pragma once

#include <memory>
#include <optional>
#include <string>

#include "output/movie_file_writer.h"
#include "output/movie_format.h"
#include "output/soundtrack.h"

namespace zr {

struct MovieWriterSettings {
    VideoFormat format;  // from chooseVideoFormat()
    int framesPerSecond = 30;
    std::optional<SoundtrackPiece> soundtrack;
    // Threads of the encoder and the pixel converter; 0: as many as the processors the process
    // may use, as each counts them.
    int threads = 0;
};

// One MP4, Matroska, QuickTime or WebM movie file. Nothing is created until the first frame
// arrives; that frame fixes the size of every frame of the file. Frames are converted from blue,
// green, red to the codec's pixel format (YUV with the matrix and range that colourTagsFor()
// gives, which the stream is tagged with) and encoded on a thread of the writer's own. The file
// is written under partialMovieName() and renamed to its own name by close() (or destruction)
// once the last frame, the soundtrack and the index are in it; a file that lacks any of them is
// removed instead.
class MovieWriter : public MovieFileWriter {
  public:
    MovieWriter(std::string fileName, MovieWriterSettings settings);
    ~MovieWriter() override;
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // Appends a frame. The first call creates the file, the encoders and the soundtrack's
    // stream. Returns kOk, or kFailed with errorText() set: when the file could not be
    // created (every later call then fails at once), when the frame's size differs from the
    // first frame's, or when an earlier frame could not be encoded or stored.
    WriteStatus writeFrame(const FrameImage& frame) override;

    // Finishes the file: encodes the frames still queued and the soundtrack up to the end of the
    // last frame, writes the index (at the front for MP4 and QuickTime) and gives the file its
    // own name. Returns kOk when the file is complete (or nothing was ever written),
    // kFailed with errorText() set otherwise. May run more than once.
    WriteStatus close() override;

    const std::string& errorText() const override { return errorText_; }
    const std::string& fileName() const override { return fileName_; }
    void setRecord(const MovieRecord& record) override { record_ = record; }
    WriterState state() const override { return state_; }
    int frameIndex() const { return frameIndex_; }
    // Whether the soundtrack's stream is a copy of the sound file's (known after the first
    // frame).
    bool soundtrackCopied() const { return soundtrackCopied_; }

  private:
    class Movie;

    WriteStatus fail(std::string text);

    std::string fileName_;
    MovieWriterSettings settings_;
    std::optional<MovieRecord> record_;  // what made the file, kept in its tags
    std::string errorText_;
    int frameIndex_ = 0;
    WriterState state_ = WriterState::kWaitingForFirstFrame;
    bool soundtrackCopied_ = false;
    int uncaughtExceptions_;
    std::unique_ptr<Movie> movie_;
};

}  // namespace zr
