#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/planned_movie.h"
#include "output/soundtrack.h"

namespace zr {

int runPlanCommand(const std::vector<std::string>& args) {
    CommandLine commandLine;
    if (const std::optional<int> status =
            readCommandLine(*findCliCommand("plan"), args, commandLine)) {
        return *status;
    }
    const std::optional<PlannedMovie> planned = planCommandLine(commandLine, std::cerr);
    if (!planned) {
        return 1;
    }
    std::string text = formatMoviePlan(planned->plan);
    // The files above are named without their folder, which MOVIEFILE may put anywhere.
    std::error_code unknown;
    const std::filesystem::path firstFile(planned->spec.output.firstMovieFile());
    const std::filesystem::path folder = std::filesystem::absolute(
        firstFile.has_parent_path() ? firstFile.parent_path() : ".", unknown);
    text += "# movie folder\t" + folder.lexically_normal().string() + '\n';
    if (const std::string soundtrack = planned->spec.output.soundtrackFile(); !soundtrack.empty()) {
        SoundtrackInfo info;
        std::string error;
        if (!probeSoundtrack(soundtrack, info, error)) {
            std::cerr << "zoomreel-cli plan: " << error << '\n';
            return 1;
        }
        text += formatSoundtrackSync(planned->plan, planned->spec, info.seconds);
    }
    std::cout << text;
    return 0;
}

}  // namespace zr
