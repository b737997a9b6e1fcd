#include "app/planned_movie.h"

#include <algorithm>
#include <limits>
#include <string>

#include "settings/memory_controls.h"
#include "settings/start_conversion.h"
#include "support/folder_listing.h"

namespace zr {

namespace {

// The key frames a run takes: the folder's key frame files, or its JPEG pictures when there is
// no key frame file.
int keyFrameCountOf(const std::string& folder) {
    const std::size_t files = listMatchingFiles(folder, "*.zmb").size();
    const std::size_t count = files > 0 ? files : listMatchingFiles(folder, "*.jpg").size();
    return static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
}

}  // namespace

std::optional<PlannedMovie> planCommandLine(const CommandLine& commandLine, std::ostream& errors) {
    MemoryControls controls;
    if (applyCommandLine(commandLine, controls, errors) != 0) {
        return std::nullopt;
    }
    const StartConversionResult start = convertControlsForStart(controls);
    if (!start.ok) {
        errors << "zoomreel-cli: " << start.message;
        if (start.errorKind == MovieSpecErrorKind::kTimeStampOrder)
            errors << ": the time stamps of the speed list must grow with the key frame numbers";
        errors << "\n";
        return std::nullopt;
    }

    const int keyFrameCount = keyFrameCountOf(commandLine.folder);
    if (keyFrameCount == 0) {
        errors << "zoomreel-cli: Invalid Folder: \"" << commandLine.folder
               << "\" holds no key frame file (*.zmb) and no JPEG picture (*.jpg)\n";
        return std::nullopt;
    }
    std::string error;
    std::optional<MoviePlan> plan = planMovie(start.spec, keyFrameCount, &error);
    if (!plan) {
        errors << "zoomreel-cli: " << error
               << ": the time stamps of the speed list must grow with the key frame numbers\n";
        return std::nullopt;
    }
    return PlannedMovie{start.spec, std::move(*plan)};
}

}  // namespace zr
