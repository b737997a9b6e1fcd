#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "movie/time_stamps.h"
#include "output/movie_file.h"

namespace zr {

struct MovieSpec;

// One key frame of a planned run: its number, the run's frame number at which it begins and its
// number of movie frames.
struct PlannedKeyFrame {
    int keyFrame = 0;
    long long firstFrame = 0;
    int frames = 0;
};

// One movie file of a planned run and the run's frames it receives.
struct PlannedMovieFile {
    std::string name;  // "film.avi", "film_01.avi", ... (the movie file's name and extension)
    long long firstFrame = 0;
    long long frames = 0;
};

// The error of a plan ended early by a stop request.
inline constexpr std::string_view kPlanStopped = "The plan was stopped";

// A plan lists at most this many movie files (a movie split after every frame can have more).
inline constexpr long long kMaxListedMovieFiles = 100000;

struct MoviePlan {
    std::vector<PlannedKeyFrame> keyFrames;
    long long totalFrames = 0;
    int fps = 0;
    long long movieFileCount = 0;              // files that get frames
    std::vector<PlannedMovieFile> movieFiles;  // the first kMaxListedMovieFiles of them
};

// The run that the render job makes of the movie's `keyFrameCount` key frames from its "Start
// frame" on, walked by the run's frame loop without any picture or key frame: the speeds of
// every key frame (speed list or time stamps), its number of movie frames under every end rule
// of the zoom (and of left scrolling), and the split into movie files every framesPerMovie
// frames. None, with `error` set, when the time stamps are out of order, and when
// `stopRequested` asked to end the work early.
std::optional<MoviePlan> planMovie(const MovieSpec& spec, int keyFrameCount,
                                   std::string* error = nullptr,
                                   const StopCheck& stopRequested = {});

// The plan as text, tab-separated:
//
//   keyframe<TAB>first_frame<TAB>frames        header
//   <k><TAB><first frame><TAB><frames>         one line per key frame of the run
//   # total frames<TAB><n>
//   # duration<TAB><hh:mm:ss.mmm><TAB>at <fps> fps     ("unknown" when the FPS is not above 0)
//   # movie files<TAB><count>
//   # <file name><TAB><first frame><TAB><frames>  one line per movie file that gets frames
//   # more files<TAB><count>                      only when not all files are listed
//
// Every line ends with "\n".
std::string formatMoviePlan(const MoviePlan& plan);

// How a soundtrack `soundtrackSeconds` long, placed as the movie's description says, lines up
// with the planned movie, as lines to follow formatMoviePlan() (times hh:mm:ss.mmm, negative
// ones before the movie's first frame):
//
//   # soundtrack<TAB><length><TAB><file>
//   # soundtrack plays<TAB><from><TAB>to<TAB><to><TAB><how its end meets the movie's>
//
// and with time stamps in the speed list ("Time" or "Time NS"), each stamp in the order the
// run takes them beside the time at which its key frame begins in the movie:
//
//   # stamp<TAB><keyframe><TAB><stamp><TAB>begins<TAB><time><TAB><begins minus stamp> s
//   # stamp<TAB><keyframe><TAB><stamp><TAB>not in the movie
std::string formatSoundtrackSync(const MoviePlan& plan, const MovieSpec& spec,
                                 double soundtrackSeconds);

}  // namespace zr
