#include <algorithm>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/folder_choice.h"
#include "movie/plan.h"
#include "settings/controls.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "settings/start_conversion.h"

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

int runPlanCommand(const std::vector<std::string>& args) {
    CommandLine commandLine;
    if (const std::optional<int> status =
            readCommandLine(*findCliCommand("plan"), args, commandLine)) {
        return *status;
    }
    std::string error;

    MemoryControls controls;
    if (const int status = applyCommandLine(commandLine, controls, std::cerr); status != 0) {
        return status;
    }
    const StartConversionResult start = convertControlsForStart(controls);
    if (!start.ok) {
        std::cerr << "zoomreel-cli: " << start.message;
        if (start.errorKind == MovieSpecErrorKind::kTimeStampOrder)
            std::cerr << ": the time stamps of the speed list must grow with the key frame numbers";
        std::cerr << "\n";
        return 1;
    }

    const int keyFrameCount = keyFrameCountOf(commandLine.folder);
    if (keyFrameCount == 0) {
        std::cerr << "zoomreel-cli: Invalid Folder: \"" << commandLine.folder
                  << "\" holds no key frame file (*.zmb) and no JPEG picture (*.jpg)\n";
        return 1;
    }
    const auto plan = planMovie(start.spec, keyFrameCount, &error);
    if (!plan) {
        std::cerr << "zoomreel-cli: " << error
                  << ": the time stamps of the speed list must grow with the key frame numbers\n";
        return 1;
    }
    std::cout << formatMoviePlan(*plan);
    return 0;
}

}  // namespace zr
