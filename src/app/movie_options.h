#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "output/movie_format.h"

namespace zr {

// The options that choose a movie file, its codec and its soundtrack.
struct MovieOptions {
    std::optional<std::string> output;  // --output FILE
    std::string codec;                  // --codec: a codec name, or a four-character code for AVI
    VideoRequest video;                 // --codec, --crf, --preset, --pix-fmt (not for AVI)
    std::optional<std::string> audio;   // --audio FILE
    double audioOffset = 0.0;           // --audio-offset SECONDS
};

// The options above, to add to a command's own.
std::vector<ExtraOption> movieOptionList();

// Their lines for a command's help.
std::string_view movieOptionsUsage();

// Reads the options from the parsed command line. Returns false with `error` naming the option
// for a value that is no number or out of range, or --audio-offset without --audio.
bool readMovieOptions(const CommandLine& commandLine, MovieOptions& options, std::string& error);

}  // namespace zr
