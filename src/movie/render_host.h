#pragma once

#include <string>
#include <vector>

#include "keyframes/key_frame_cache.h"
#include "movie/run_state.h"

namespace zr {

class FrameImage;

// A movie file that could not be created or written, and why.
struct MovieFileFailure {
    std::string file;
    std::string reason;
};

// Why a run ended without its "Done!" status.
enum class RunFailureKind {
    kNone,
    kInvalidFolder,   // no key frame file and no picture in the folder
    kTimeStampOrder,  // "Later timestamps can not be earlier"
    kMovieTooLarge,   // the movie or composed picture would not fit in memory
    kFilesPastEnd,    // the movie files asked for lie past the end of the movie
    kMovieFile,       // the movie files cannot be written as asked (container, codec, sound)
    kOutputPath,      // a folder or link stands at an output name, or the folder is not writable
    kForeignFile,     // a file this program did not make stands at an output name
    kFolderBusy,      // another render of the same folder is running
    kInternal,        // something failed inside the run (memory running out)
};

// The colour values a run advances, as they stand after a frame.
struct RunColors {
    double cycle = 0.0;     // the colour cycle offset
    double division = 0.0;  // the colour division
    double rotation = 0.0;  // the rotation
};

// What one run of the render job did.
struct RenderOutcome {
    // The run went through to its "Done!" status (after the last key frame or a stop).
    bool done = false;
    // A stop request ended the run early.
    bool stopped = false;
    // Why the run ended without "Done!", and what to tell the user; kNone and empty if done.
    RunFailureKind failureKind = RunFailureKind::kNone;
    std::string failure;
    // Where the run ended and the colours it ended with.
    RunCounters counters;
    RunColors colors;
    // Movie frames counted (skipped ones included) and frames handed to a movie file.
    long long framesCounted = 0;
    long long framesWritten = 0;
    // Movie files completed by this run, in the order they were finished.
    std::vector<std::string> moviesWritten;
    // Movie files that could not be created or written; the render went on past those it could
    // create.
    std::vector<MovieFileFailure> movieFailures;
    // A movie file could not be created at all (its folder, or a frame size its compressor
    // refuses): the run stopped there.
    bool movieNotCreated = false;
    // Writing to a movie file failed (a full disk): the run stopped at once.
    bool movieWriteFailed = false;
    // With kForeignFile: the file that stands in the way.
    std::string foreignFile;
    // A texture picture the movie asks for that cannot be read: the movie is made without
    // texture ("texture file \"...\" cannot be read: ..."); empty when there is none.
    std::string textureProblem;
    // A stop left this movie file with fewer frames than the movie gives it: it plays, and the
    // next run writes it again, whole. Empty when the stop came between two files.
    std::string shortMovie;
    long long shortMovieFrames = 0;     // the frames it holds
    long long shortMovieFramesDue = 0;  // the frames the movie gives it
    // Key frames that neither read nor had a picture standing in for them, each once: the
    // frames that needed them were made without their detail.
    std::vector<KeyFrameReadError> unusableKeyFrames;
    // Movie files finished with such frames. Each is marked (see unfinishedMarkerPath), so the
    // next run writes it again instead of taking it as complete.
    std::vector<std::string> moviesMissingKeyFrames;
    // Why a run that went through made no frame at all (a start frame past the last key frame,
    // a movie too small to zoom in); empty when it made frames or was stopped.
    std::string noFrameReason;
};

// A key frame begins: its first movie frame is about to be made.
struct KeyFrameStarted {
    RunCounters counters;
    std::string keyFrameName;  // the key frame file's name
};

// A movie frame has been made (or counted, for a file that exists whole or "Skip render").
struct FrameDone {
    RunCounters counters;  // the counters after the frame
    RunColors colors;
    std::string keyFrameName;
    long long framesDone = 0;    // frames of this run so far
    long long framesToMake = 0;  // frames this run makes in all (at least framesDone)
    // What the current movie file's writer reported when it failed; empty while it writes.
    std::string writerError;
};

// The colour range of a key frame was taken: its smallest count, the count at which its
// colours begin, the start of the run's range and the iteration at which colours start.
struct ColorRangeTaken {
    int smallest = 0;
    int keyMin = 0;
    int start = 0;
    int iteration = 0;
};

// With the stretched colour method: the range moved on before a composition.
struct StretchRangeMoved {
    int stretchMin = 0;
    int stretchMax = 0;
    int keyMin = 0;
    int keyMax = 0;
};

// With "Test only" and "Skip render": the movie frame at which a key frame with a speed line
// begins.
struct SpeedLineReached {
    int keyFrame = 0;
    long long frame = 0;
    int fps = 1;
};

// A movie file is complete under its own name.
struct FileDone {
    std::string path;
    int movieNumber = 0;
    long long frames = 0;
    bool missingKeyFrames = false;  // made without some key frame's detail (and marked so)
};

// Why an existing movie file is kept.
enum class FileKeptReason {
    kRecordMatches,  // complete, and its record says it was made with these settings
    kNoRecord,       // it holds the frames the plan gives it but carries no record (an older
                     // version made it): kept as before
};

struct FileKept {
    std::string path;
    FileKeptReason reason = FileKeptReason::kRecordMatches;
};

// Why an existing movie file is made again.
enum class FileRemadeReason {
    kOtherSettings,  // its record shows other settings, key frames, codec or soundtrack
    kShort,          // it holds fewer frames than the plan gives it (a stop cut it short)
    kMarked,         // its marker says it is not whole
    kFresh,          // a fresh run was asked for
    kOverwrite,      // it is no movie of this program's and replacing it was allowed
};

struct FileRemade {
    std::string path;
    FileRemadeReason reason = FileRemadeReason::kOtherSettings;
    long long frames = 0;  // with kShort: the frames it holds
    long long due = 0;     // the frames the plan gives it
};

// What a run tells whoever started it, as typed events, in the order they happen. Each front end
// makes its own text from them. Every call comes from the run's thread except
// keyFrameUnreadable, which may come from any thread colouring key frames; none may wait for a
// user interface. Every event does nothing unless overridden.
class RenderHost : public UnreadableKeyFrameListener {
  public:
    virtual ~RenderHost() = default;

    // The run has begun.
    virtual void runStarted() {}
    // The key frame folder was listed: `keyFrames` files.
    virtual void folderListed(int /*keyFrames*/) {}
    // The run will make this many frames (after seeking to the first file asked for).
    virtual void runPlanned(long long /*framesToMake*/) {}
    virtual void keyFrameStarted(const KeyFrameStarted&) {}
    virtual void frameDone(const FrameDone&) {}
    // The number of key colours (the palette's) changed.
    virtual void colorCountChanged(int /*keyColors*/) {}
    virtual void colorRangeTaken(const ColorRangeTaken&) {}
    virtual void stretchRangeMoved(const StretchRangeMoved&) {}
    // A movie frame or key frame picture for a preview; valid during the call only.
    virtual void previewPicture(const FrameImage&) {}
    virtual void speedLineReached(const SpeedLineReached&) {}
    void keyFrameUnreadable(const std::string& /*path*/) override {}
    virtual void fileDone(const FileDone&) {}
    // Before the first frame, for each movie file that already exists: kept or made again.
    virtual void movieFileKept(const FileKept&) {}
    virtual void movieFileRemade(const FileRemade&) {}
    // The run has ended: the last event of every run.
    virtual void runEnded(const RenderOutcome&) {}
};

// A host that shows nothing.
class NullRenderHost : public RenderHost {};

}  // namespace zr
