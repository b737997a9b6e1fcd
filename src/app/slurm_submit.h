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

// A render spread over a Slurm cluster: a job array whose tasks render their share of the
// movie files, and a join that runs once all of them have succeeded.
struct SlurmRender {
    std::string program;                     // the zoomreel-cli every node runs, absolute
    std::string folder;                      // the key frame folder, absolute
    std::string workFolder;                  // where the commands run (the submitter's folder)
    std::string scriptFolder;                // where the scripts and the logs go
    std::vector<std::string> renderOptions;  // the options every task's render gets
    std::vector<std::string> joinOptions;    // the options the join gets
    std::vector<MovieFileRange> shares;      // the movie files of each task
    std::vector<long long> sharedFrames;     // the frames of each task
    std::vector<std::string> movieFiles;     // the name of every movie file, in order
    std::optional<int> cpusPerTask;          // none: every task has a machine of its own
};

// The batch script of the job array: task K runs "render FOLDER --files I-J" for its share.
std::string renderBatchScript(const SlurmRender& render);

// The batch script of the join: it names each movie file that is missing and the task that
// makes it, and joins nothing then.
std::string joinBatchScript(const SlurmRender& render);

}  // namespace zr
