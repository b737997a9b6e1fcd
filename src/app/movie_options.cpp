#include "app/movie_options.h"

namespace zr {

bool readMovieOptions(const CommandLine& commandLine, MovieOptions& options, std::string& error) {
    options = MovieOptions();
    if (commandLine.hasExtra("--output")) {
        options.output = commandLine.extra("--output");
        if (options.output->empty()) {
            error = "--output: give a file name such as film.mp4";
            return false;
        }
    }
    options.codec = commandLine.extra("--codec");
    options.video.codec = options.codec;
    if (commandLine.hasExtra("--crf")) {
        const auto crf = parseInteger(commandLine.extra("--crf"), 0, 100);
        if (!crf) {
            error = "--crf: expected a whole number such as 23";
            return false;
        }
        options.video.crf = static_cast<int>(*crf);
    }
    options.video.preset = commandLine.extra("--preset");
    options.video.pixelFormat = commandLine.extra("--pix-fmt");
    if (commandLine.hasExtra("--audio")) {
        options.audio = commandLine.extra("--audio");
    }
    if (commandLine.hasExtra("--audio-offset")) {
        const auto offset = parseDecimal(commandLine.extra("--audio-offset"));
        if (!offset || *offset < -86400.0 || *offset > 86400.0) {
            error = "--audio-offset: expected seconds as a decimal number, such as 1.5 or -12";
            return false;
        }
        if (!options.audio) {
            error = "--audio-offset places a soundtrack: give it with --audio FILE";
            return false;
        }
        options.audioOffset = *offset;
    }
    return true;
}

}  // namespace zr
