#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "output/movie_format.h"

namespace zr {

// The values of the options that choose a movie file, its codec and its soundtrack
// (movieFileOptions()).
struct MovieOptions {
    std::optional<std::string> output;  // --output FILE
    std::string codec;                  // --codec: a codec name, or a four-character code for AVI
    VideoRequest video;                 // --codec, --crf, --preset, --pix-fmt (not for AVI)
    std::optional<std::string> audio;   // --audio FILE
    double audioOffset = 0.0;           // --audio-offset SECONDS
};

// Reads the options from the parsed command line. Returns false with `error` naming the option
// for a value that is no number or out of range, or --audio-offset without --audio.
bool readMovieOptions(const CommandLine& commandLine, MovieOptions& options, std::string& error);

}  // namespace zr
