#pragma once

#include <optional>
#include <string>
#include <vector>

#include "movie/render_host.h"
#include "settings/movie_spec.h"

namespace zr {

class RenderSession;

// Movie files `first` to `last` of a run, both included (0 is "film.avi", 1 "film_01.avi", ...).
struct MovieFileRange {
    int first = 0;
    int last = 0;
};

// What a run may do with movie files that already exist.
struct ExistingFilePolicy {
    // Make every file again that carries this program's record, whatever the record says.
    bool fresh = false;
    // Replace a file at a movie file's name that carries no record of this program's (and is
    // not a whole movie file an older version made).
    bool overwrite = false;
};

// One run of the movie maker: lists and sorts the key frames of the movie's folder, walks them
// from "Start frame" to the last, composes every movie frame and writes the frames to the movie
// file ("film.avi" unless the movie names another) and the follow-on files "film_01.avi",
// "film_02.avi", ... of framesPerMovie frames each, each with its stretch of the soundtrack.
// Movie file settings that cannot give a file end the run before its first frame.
// Movie files that already exist whole, with a record that shows they were made with the same
// settings, key frames, codec and soundtrack (see MovieRecord), are not made again (and told
// with host.movieFileKept): the run is brought forward past their frames without making
// pictures, so the next file goes on exactly where they end. Files of this program's that differ
// are made again (host.movieFileRemade). Before the first frame every movie file's name is
// checked: a folder or link there, a folder that is not writable, another render of the same
// folder (except for runs of `files`, which share a folder by design) or a file this program did
// not make (unless `policy.overwrite`) end the run with its failure. Key
// frames are read through the session's cache, and the run starts from the colours the
// session's last run or Test left and leaves its own there. It tells `host` what happens as typed
// events and ends with host.runEnded(outcome); it asks nothing while it runs. The session shows
// the run as running from its start until just before runEnded. A stop request
// (session.requestStop()) finishes the frame under way and the current movie file, then ends the
// run like a normal one.
//
// With `files`, the run makes those movie files alone, each the same frame for frame as the file
// of a whole run: it is brought to the first frame of the first of them without making a picture
// and ends after the last of them. Files before and after them are neither read nor written.
RenderOutcome runRenderJob(const MovieSpec& spec, RenderSession& session, RenderHost& host,
                           std::optional<MovieFileRange> files = std::nullopt,
                           ExistingFilePolicy policy = {});

// The name of the lock file a render holds in the movie's folder.
inline constexpr const char* kRenderLockName = ".zoomreel-render.lock";

// The thread routine of the desktop program: runRenderJob of the whole movie.
RenderOutcome renderJobMain(const MovieSpec& spec, RenderSession& session, RenderHost& host);

}  // namespace zr
