#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "movie/render_job.h"

namespace zr {

// The movie files split into `tasks` runs of consecutive files, each with about the same number
// of frames (`framesPerFile` holds the planned frames of every movie file in order). Every run
// gets at least one file, so there are fewer runs than `tasks` when the movie has fewer files.
std::vector<MovieFileRange> shareMovieFiles(const std::vector<long long>& framesPerFile, int tasks);

// `text` as one word for the shell: as it is when it holds nothing the shell reads otherwise,
// else in single quotes, or as $'...' when it holds a tab, a line break or another control
// character.
std::string shellWord(std::string_view text);

// Whether `text` can be written into a line of a batch script (an #SBATCH line, a comment): empty
// when it can, else what it holds that cannot (a line break, a NUL, another control character).
std::string unsafeLineText(std::string_view text);

// `option` ("--name=value" or "--name") as an #SBATCH line takes it, the value in double quotes
// when sbatch would split or cut it there. Empty, with `error` saying why, for an option that
// cannot be written safely: no "--name" before the value, a control character, or a double
// quote or a backslash, which sbatch reads otherwise.
std::string sbatchDirective(std::string_view option, std::string& error);

// A render spread over a Slurm cluster: a job array whose tasks render their share of the
// movie files, and a join that runs once all of them have succeeded.
struct SlurmRender {
    std::string program;                     // the zoomreel-cli every node runs, absolute
    std::string folder;                      // the key frame folder, absolute; the jobs run there
    std::string scriptFolder;                // where the scripts and the logs go
    std::string moviesFolder;                // where the movie files are written
    std::string joinedMovie;                 // the movie the join writes
    std::vector<std::string> renderOptions;  // the options every task's render gets
    std::vector<std::string> joinOptions;    // the options the join gets
    std::vector<std::string> resumeCommand;  // the submit command that resumes, word by word
    std::vector<MovieFileRange> shares;      // the movie files of each task
    std::vector<long long> sharedFrames;     // the frames of each task
    std::vector<std::string> movieFiles;     // the name of every movie file, in order
    std::optional<int> cpusPerTask;          // none: what the site gives a task
    bool exclusive = false;                  // every task gets a machine of its own
    // The site's options, each as sbatchDirective() gives it: written as #SBATCH lines of both
    // scripts after submit's own, so that they win.
    std::vector<std::string> siteDirectives;
    std::string prologue;  // shell lines run before the render and the join
};

// How long before its time limit a task is told to stop, so that it finishes its movie file.
inline constexpr int kStopNoticeSeconds = 120;

// Empty when every value of `render` that reaches a line of the scripts can be written there
// safely; else a message that names the value and what is wrong with it.
std::string slurmRenderProblem(const SlurmRender& render);

// The batch script of the job array: task K runs "render FOLDER --files I-J" for its share.
std::string renderBatchScript(const SlurmRender& render);

// The batch script of the join: it names each movie file that is missing or unfinished and the
// command that makes it, and joins nothing then.
std::string joinBatchScript(const SlurmRender& render);

}  // namespace zr
