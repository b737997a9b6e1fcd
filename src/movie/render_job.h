#pragma once

#include <optional>
#include <string>
#include <vector>

#include "keyframes/key_frame_cache.h"
#include "settings/movie_spec.h"

namespace zr {

class RenderHost;
class RenderSession;

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
    kInternal,        // something failed inside the run (memory running out)
};

// What one run of the render job did.
struct RenderOutcome {
    // The run went through to its "Done!" status (after the last key frame or a stop).
    bool done = false;
    // A stop request ended the run early.
    bool stopped = false;
    // Why the run ended without "Done!", and the status text it left; kNone and empty if done.
    RunFailureKind failureKind = RunFailureKind::kNone;
    std::string failure;
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

// Movie files `first` to `last` of a run, both included (0 is "film.avi", 1 "film_01.avi", ...).
struct MovieFileRange {
    int first = 0;
    int last = 0;
};

// One run of the movie maker: lists and sorts the key frames of the movie's folder, walks them
// from "Start frame" to the last, composes every movie frame and writes the frames to the movie
// file ("film.avi" unless the movie names another) and the follow-on files "film_01.avi",
// "film_02.avi", ... of framesPerMovie frames each, each with its stretch of the soundtrack.
// Movie file settings that cannot give a file end the run before its first frame.
// Movie files that already exist whole are not made again: the run is brought forward past
// their frames without making pictures, so the next file goes on exactly where they end. Key
// frames are read through the session's cache, and the run starts from the colours the
// session's last run or Test left and leaves its own there. Everything it shows or asks goes
// through `host`; it ends with host.finished(). A stop request (session.requestStop())
// finishes the frame under way and the current movie file, then ends the run like a normal one.
//
// With `files`, the run makes those movie files alone, each the same frame for frame as the file
// of a whole run: it is brought to the first frame of the first of them without making a picture
// and ends after the last of them. Files before and after them are neither read nor written.
RenderOutcome runRenderJob(const MovieSpec& spec, RenderSession& session, RenderHost& host,
                           std::optional<MovieFileRange> files = std::nullopt);

// The file beside a movie file that says the movie file lacks the detail of a key frame that
// could not be used: while it exists the movie file does not count as complete.
std::string unfinishedMarkerPath(const std::string& moviePath);

// The thread routine: runRenderJob, returning 1 whatever happened.
int renderJobMain(const MovieSpec& spec, RenderSession& session, RenderHost& host);

}  // namespace zr
