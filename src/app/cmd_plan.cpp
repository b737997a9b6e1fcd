#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/planned_movie.h"
#include "movie/frame_view.h"
#include "output/movie_files.h"
#include "output/movie_format.h"
#include "output/soundtrack.h"

namespace zr {

namespace {

std::string sizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// The size of the pictures in the movie files and, where it is not the movie size, why.
std::string frameSizeLine(const MovieSpec& spec) {
    const PictureSize picture = movieFilePictureSize(spec);
    std::string line = "# frame size\t" + sizeText(picture.width, picture.height);
    const OutputSpec& output = spec.output;
    if (picture.width != output.movieWidth || picture.height != output.movieHeight) {
        const std::string movieSize = sizeText(output.movieWidth, output.movieHeight);
        line += spec.start.rotationActive
                    ? "\thalf the movie size " + movieSize + ": rotation keeps the middle half"
                    : "\tthe middle 4:3 part of the movie size " + movieSize;
    }
    return line + '\n';
}

std::string containerLine(const MovieSpec& spec) {
    const ContainerInfo* container = containerForFile(spec.output.firstMovieFile());
    if (container == nullptr)
        return {};
    std::string line = "# container\t" + std::string(container->description);
    if (spec.output.framesPerMovie < kUnsplitMovie)
        line += "\tsplit every " + std::to_string(spec.output.framesPerMovie) + " frames";
    return line + '\n';
}

// What render would refuse about the movie files before making a frame (a soundtrack for an
// AVI movie, one that cannot be read, a codec that cannot take the frames...); empty when
// nothing, or when no movie file is written.
std::string movieFileProblem(const MovieSpec& spec) {
    if (spec.output.testOnly || spec.output.skipRender)
        return {};
    const PictureSize picture = movieFilePictureSize(spec);
    MovieFiles files(spec.output);
    return files.check(picture.width, picture.height);
}

}  // namespace

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
    text += frameSizeLine(planned->spec);
    text += containerLine(planned->spec);
    if (const std::string soundtrack = planned->spec.output.soundtrackFile(); !soundtrack.empty()) {
        if (const std::string problem = movieFileProblem(planned->spec); !problem.empty()) {
            std::cerr << "zoomreel-cli plan: " << problem << '\n';
            return 1;
        }
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
