#include "app/movie_options.h"

namespace zr {

std::vector<ExtraOption> movieOptionList() {
    return {{"--output", "FILE"},         {"--codec", "NAME"},     {"--crf", "N"},
            {"--preset", "NAME"},         {"--pix-fmt", "FORMAT"}, {"--audio", "FILE"},
            {"--audio-offset", "SECONDS"}};
}

std::string_view movieOptionsUsage() {
    return "  --output FILE          the movie file; its extension chooses the container:\n"
           "                         .avi, .mp4, .mkv (Matroska), .mov (QuickTime), .webm\n"
           "  --codec NAME           h264, h265, av1, vp9, prores or ffv1 (for AVI a\n"
           "                         four-character code); \"zoomreel-cli codecs\" lists what\n"
           "                         each container takes\n"
           "  --crf N                constant quality: lower is better and larger\n"
           "  --preset NAME          encoder speed against size (h264, h265: ultrafast ...\n"
           "                         veryslow; av1: 0 ... 13; vp9: best, good, realtime;\n"
           "                         prores: proxy, lt, standard, hq, 4444, 4444xq)\n"
           "  --pix-fmt FORMAT       yuv420p (default, plays everywhere), yuv444p, yuv420p10le,\n"
           "                         ...\n"
           "  --audio FILE           a soundtrack: any sound file FFmpeg reads\n"
           "  --audio-offset S       the soundtrack begins S seconds into the movie (negative:\n"
           "                         the movie begins S seconds into the soundtrack)\n";
}

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
