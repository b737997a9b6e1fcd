#pragma once

#include <optional>
#include <ostream>

#include "app/cli_options.h"
#include "movie/plan.h"
#include "settings/movie_spec.h"

namespace zr {

// The movie a command line describes and its plan.
struct PlannedMovie {
    MovieSpec spec;
    MoviePlan plan;
};

// Sets the controls from the command line (applyCommandLine), builds the movie as Start would
// and plans the run that render would make of the key frames in its FOLDER. None, after writing
// what failed to `errors`, when the settings give no movie or the folder holds no key frame.
std::optional<PlannedMovie> planCommandLine(const CommandLine& commandLine, std::ostream& errors);

}  // namespace zr
