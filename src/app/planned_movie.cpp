#include "app/planned_movie.h"

#include <algorithm>
#include <limits>
#include <string>

#include "keyframes/key_frame_folder.h"
#include "settings/memory_controls.h"
#include "settings/start_conversion.h"

namespace zr {

namespace {

// The key frames a run takes: the folder's key frame files, or its pictures when there is no key
// frame file.
int keyFrameCountOf(const std::string& folder) {
    const std::size_t count = listKeyFrames(folder, SortOrder::kAscending).size();
    return static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
}

}  // namespace

std::optional<PlannedMovie> planCommandLine(const CommandLine& commandLine, std::ostream& errors) {
    MemoryControls controls;
    if (applyCommandLine(commandLine, controls, errors) != 0) {
        return std::nullopt;
    }
    const std::string prefix = "zoomreel-cli " + std::string(commandLine.command) + ": ";
    const StartConversionResult start = convertControlsForStart(controls);
    if (!start.ok) {
        errors << prefix << start.message;
        if (start.errorKind == MovieSpecErrorKind::kTimeStampOrder)
            errors << ": the time stamps of the speed list must grow with the key frame numbers";
        errors << "\n";
        return std::nullopt;
    }

    const int keyFrameCount = keyFrameCountOf(commandLine.folder);
    if (keyFrameCount == 0) {
        errors << prefix << "Invalid Folder: \"" << commandLine.folder
               << "\" holds no key frame file (*.zmb) and no picture (*.jpg, *.png, *.bmp)\n";
        return std::nullopt;
    }
    std::string error;
    std::optional<MoviePlan> plan = planMovie(start.spec, keyFrameCount, &error);
    if (!plan) {
        errors << prefix << error
               << ": the time stamps of the speed list must grow with the key frame numbers\n";
        return std::nullopt;
    }
    return PlannedMovie{start.spec, std::move(*plan)};
}

}  // namespace zr
