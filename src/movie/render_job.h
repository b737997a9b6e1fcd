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

// One run of the movie maker: lists and sorts the key frames of the movie's folder, walks them
// from "Start frame" to the last, composes every movie frame and writes the frames to the movie
// file ("film.avi" unless the movie names another) and the follow-on files "film_01.avi",
// "film_02.avi", ... of framesPerMovie frames each, each with its stretch of the soundtrack.
// Movie file settings that cannot give a file end the run before its first frame.
// Movie files that already exist whole are not made again: the run is brought forward past
// their frames without making pictures, so the next file goes on exactly where they end. Key
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
                           std::optional<MovieFileRange> files = std::nullopt);

// The thread routine of the desktop program: runRenderJob of the whole movie.
RenderOutcome renderJobMain(const MovieSpec& spec, RenderSession& session, RenderHost& host);

}  // namespace zr
