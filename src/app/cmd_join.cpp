#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/movie_options.h"
#include "output/avi_writer.h"
#include "output/movie_join.h"
#include "output/soundtrack.h"

namespace zr {

namespace {

constexpr std::string_view kJoinUsage =
    "usage: zoomreel-cli join FOLDER [--output FILE] [--input NAME] [--audio FILE]\n"
    "                         [--audio-offset S] [--codec NAME] [--crf N] [--preset NAME]\n"
    "                         [--pix-fmt FORMAT]\n"
    "\n"
    "Puts the split files of a render in FOLDER (film.avi, film_01.avi, ... or the same names\n"
    "with another extension) together into one movie file, FOLDER/film_joined with the same\n"
    "extension unless --output names another. The video is copied when every split file codes\n"
    "it alike in a codec the chosen container holds and no --codec, --crf, --preset or\n"
    "--pix-fmt is given; otherwise it is encoded again. The file is written under a temporary\n"
    "name and gets its own name only once it holds every frame of the split files. A missing\n"
    "or unfinished split file stops the join.\n"
    "\n"
    "  --input NAME           the first split file when FOLDER holds films of several kinds\n"
    "                         (film.avi, film.mp4)\n";

int usageError(const std::string& message) {
    std::cerr << "zoomreel-cli join: " << message
              << "\n(\"zoomreel-cli join --help\" lists the options)\n";
    return 2;
}

}  // namespace

int runJoinCommand(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kJoinUsage << movieOptionsUsage();
        return 0;
    }
    quietVideoLibraryMessages();
    std::vector<ExtraOption> extras = movieOptionList();
    extras.push_back({"--input", "NAME"});
    CommandLine commandLine;
    MovieOptions options;
    std::string error;
    if (!parseCommandLine(args, extras, commandLine, error) ||
        !readMovieOptions(commandLine, options, error)) {
        return usageError(error);
    }
    if (commandLine.settingsFile || !commandLine.sets.empty() || !commandLine.flags.empty() ||
        commandLine.zoomSize) {
        return usageError("join takes no render settings, only the options below");
    }

    JoinRequest request;
    if (!findMoviePieces(commandLine.folder, commandLine.extra("--input"), request.pieces, error)) {
        std::cerr << "zoomreel-cli join: " << error << '\n';
        return 1;
    }
    const std::filesystem::path first(request.pieces.front());
    request.output = options.output.value_or(
        (first.parent_path() / ("film_joined" + first.extension().string())).string());
    const ContainerInfo* container = containerForFile(request.output);
    if (container == nullptr) {
        std::cerr << "zoomreel-cli join: --output " << request.output
                  << ": end the file name in one of " << containerList() << '\n';
        return 1;
    }
    if (container->id == Container::kAvi) {
        if (options.video.crf || !options.video.preset.empty() ||
            !options.video.pixelFormat.empty()) {
            return usageError(
                "--crf, --preset and --pix-fmt are for MP4, Matroska, QuickTime "
                "and WebM files, not " +
                request.output);
        }
        if (!options.codec.empty()) {
            request.aviCodec = options.codec;
            request.video.codec = options.codec;  // asks for encoding
        }
    } else {
        request.video = options.video;
    }
    if (options.audio) {
        SoundtrackInfo info;
        if (!probeSoundtrack(*options.audio, info, error)) {
            std::cerr << "zoomreel-cli join: " << error << '\n';
            return 1;
        }
        request.soundtrack = options.audio;
        request.soundtrackOffset = options.audioOffset;
    }

    const JoinResult result = joinMovies(request);
    if (!result.error.empty()) {
        std::cerr << "zoomreel-cli join: " << result.error << '\n';
        return 1;
    }
    std::cout << "wrote " << request.output << ": " << result.frames << " frames from "
              << request.pieces.size() << " split file" << (request.pieces.size() == 1 ? "" : "s")
              << ", video " << (result.videoCopied ? "copied" : "encoded");
    if (request.soundtrack) {
        std::cout << ", sound " << (result.soundCopied ? "copied" : "encoded");
    }
    std::cout << '\n';
    return 0;
}

}  // namespace zr
