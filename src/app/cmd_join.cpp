#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/movie_options.h"
#include "app/planned_movie.h"
#include "output/avi_writer.h"
#include "output/movie_join.h"
#include "output/movie_record.h"
#include "output/soundtrack.h"
#include "support/safe_file.h"

namespace zr {

namespace {

// Empty when the joined movie may be written at `output`, else why not: a folder there, or a
// file that carries no record of this program's (unless `overwrite`).
std::string outputProblem(const std::string& output, bool overwrite) {
    const FileWriteResult found = checkWritablePath(output);
    if (found.kind == FileWriteErrorKind::kIsFolder) {
        return found.message;
    }
    std::error_code ignored;
    if (overwrite || !std::filesystem::exists(output, ignored) || readMovieRecord(output).record) {
        return {};
    }
    return "\"" + std::filesystem::absolute(output).string() +
           "\" already exists and was not made by this program (it carries no movie record); "
           "choose another --output, move it away, or give --overwrite to replace it";
}

}  // namespace

int runJoinCommand(const std::vector<std::string>& args) {
    const CliCommand& command = *findCliCommand("join");
    CommandLine commandLine;
    if (const std::optional<int> status = readCommandLine(command, args, commandLine))
        return *status;
    MovieOptions options;
    std::string error;
    if (!readMovieOptions(commandLine, options, error))
        return usageError(command, error);

    if (const std::string missing = missingFolderMessage(commandLine.folder); !missing.empty()) {
        std::cerr << "zoomreel-cli join: " << missing << '\n';
        return 1;
    }
    // Given the render's settings, the join knows the plan of the movie and where its files are.
    std::optional<PlannedMovie> planned;
    if (commandLine.settingsFile || !commandLine.sets.empty() || !commandLine.flags.empty() ||
        commandLine.zoomSize) {
        planned = planCommandLine(commandLine, std::cerr);
        if (!planned) {
            return 1;
        }
    }
    std::string piecesFolder = commandLine.folder;
    std::string firstName = commandLine.extra("--input");
    if (const std::filesystem::path given(firstName); given.has_parent_path()) {
        // A path names the first split file where the render's MOVIEFILE put it, relative ones
        // inside FOLDER.
        const std::filesystem::path first =
            given.is_absolute() ? given : std::filesystem::path(commandLine.folder) / given;
        piecesFolder = first.parent_path().string();
        firstName = first.filename().string();
    }
    if (firstName.empty() && planned && !planned->spec.output.movieFile.path.empty()) {
        const std::filesystem::path first(planned->spec.output.firstMovieFile());
        piecesFolder = first.parent_path().string();
        firstName = first.filename().string();
    }
    JoinRequest request;
    if (!findMoviePieces(piecesFolder, firstName, request.pieces, error)) {
        std::cerr << "zoomreel-cli join: " << error << '\n';
        return 1;
    }
    if (planned) {
        request.expectedFrames = planned->plan.totalFrames;
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
            return usageError(command,
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
    if (const std::string problem =
            outputProblem(request.output, commandLine.hasExtra("--overwrite"));
        !problem.empty()) {
        std::cerr << "zoomreel-cli join: " << problem << '\n';
        return 1;
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

    if (::isatty(STDERR_FILENO) != 0) {
        // Joining a long movie that must be encoded takes a while: say what is under way.
        std::cerr << "joining " << request.pieces.size() << " split file"
                  << (request.pieces.size() == 1 ? "" : "s") << " into " << request.output << " ..."
                  << std::flush;
    }
    const JoinResult result = joinMovies(request);
    if (::isatty(STDERR_FILENO) != 0)
        std::cerr << '\n';
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
