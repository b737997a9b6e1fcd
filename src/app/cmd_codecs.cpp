#include <iostream>
#include <set>
#include <string>

#include "app/cli_options.h"

#include "app/commands.h"
#include "output/compressors.h"
#include "output/movie_format.h"

namespace zr {

namespace {

std::string list(const std::vector<std::string>& items, std::string_view first) {
    std::string text;
    for (const std::string& item : items) {
        text += text.empty() ? "" : ", ";
        text += item;
        if (item == first) {
            text += " (default)";
        }
    }
    return text;
}

}  // namespace

// Lists what this build can write: for every container (chosen by the movie file's extension)
// the codecs to give to --codec, with their quality scale, presets and pixel formats.
int runCodecsCommand(const std::vector<std::string>& args) {
    CommandLine commandLine;
    if (const std::optional<int> status =
            readCommandLine(*findCliCommand("codecs"), args, commandLine)) {
        return *status;
    }
    if (commandLine.hasExtra("--names")) {
        // What --codec takes, for the shell's completion.
        std::set<std::string> names;
        for (const Compressor& compressor : availableCompressors()) {
            // "DIB " is given as DIB.
            names.insert(compressor.fourcc.substr(0, compressor.fourcc.find_last_not_of(' ') + 1));
        }
        for (const ContainerInfo& container : movieContainers()) {
            if (container.id == Container::kAvi)
                continue;
            for (const VideoCodec* codec : availableVideoCodecs(container.id))
                names.insert(std::string(codec->name));
        }
        for (const std::string& name : names)
            std::cout << name << '\n';
        return 0;
    }
    for (const ContainerInfo& container : movieContainers()) {
        std::cout << container.description << " (" << container.extension << "), sound "
                  << (container.soundEncoder == "aac"       ? "AAC"
                      : container.soundEncoder == "libopus" ? "Opus"
                                                            : "PCM")
                  << " unless the sound file's own codec fits:\n";
        if (container.id == Container::kAvi) {
            std::cout << "  compressors by four-character code, --quality 0 ... 100:\n";
            for (const Compressor& compressor : availableCompressors()) {
                std::cout << "  " << compressor.fourcc << "  " << compressor.description << '\n';
            }
            continue;
        }
        for (const VideoCodec* codec : availableVideoCodecs(container.id)) {
            std::cout << "  " << codec->name
                      << (codec->name == container.defaultCodec ? " (default)" : "") << "  "
                      << codec->description << '\n';
            if (codec->minCrf <= codec->maxCrf) {
                std::cout << "      --crf " << codec->minCrf << " ... " << codec->maxCrf
                          << " (default " << codec->defaultCrf << ")\n";
            }
            if (!codec->presets.empty()) {
                std::cout << "      --preset "
                          << list({codec->presets.begin(), codec->presets.end()},
                                  codec->defaultPreset)
                          << '\n';
            }
            std::cout << "      --pix-fmt " << list(codecPixelFormats(*codec), codec->pixelFormat)
                      << '\n';
        }
    }
    return 0;
}

}  // namespace zr
