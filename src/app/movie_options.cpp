#include "app/movie_options.h"

#include "settings/parameter_check.h"

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
        const std::string text = commandLine.extra("--crf");
        const Parameter& parameter = *parameterWithFlag("--crf");
        const auto crf = parseInteger(text, parameter.min, parameter.max);
        if (!crf) {
            error = "--crf " + visibleText(text) + ": --crf is a whole number on " +
                    std::string(parameter.unit);
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
        const std::string text = commandLine.extra("--audio-offset");
        const Parameter& parameter = *parameterWithFlag("--audio-offset");
        const auto offset = parseDecimal(text);
        if (text.empty() || checkParameterValue(parameter, text)) {
            error = "--audio-offset " + visibleText(text) + ": " + allowedValues(parameter);
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
