#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/thread_option.h"
#include "keyframes/mandelbrot.h"

namespace zr {

namespace {

// A whole number of any size; the options check their own ranges.
std::optional<long long> parseWholeNumber(std::string_view text) {
    return parseInteger(text, std::numeric_limits<long long>::min(),
                        std::numeric_limits<long long>::max());
}

// Two values separated by `separator`, each parsed by `parse`.
template <typename Parse>
auto parsePair(std::string_view text, char separator, Parse parse)
    -> std::optional<std::pair<typename decltype(parse(text))::value_type,
                               typename decltype(parse(text))::value_type>> {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const auto first = parse(text.substr(0, at));
    const auto second = parse(text.substr(at + 1));
    if (!first || !second) {
        return std::nullopt;
    }
    return std::pair{*first, *second};
}

// The series the options ask for; the exit status of a usage error for a value that is not
// one, none when every value is.
std::optional<int> readSeriesOptions(const CliCommand& command, const CommandLine& commandLine,
                                     KeyFrameSeries& series) {
    series.folder = commandLine.folder;
    for (const auto& extra : commandLine.extras) {
        // Plain references, not structured bindings: clang 14 refuses to let the lambda below
        // capture those.
        const std::string& option = extra.first;
        const std::string& value = extra.second;
        const auto badValue = [&](std::string_view advice) {
            return zr::usageError(
                command, "bad value \"" + value + "\" for " + option + ": " + std::string(advice));
        };
        if (option == "--count") {
            const auto count = parseWholeNumber(value);
            if (!count || *count < 1 || *count > 99999) {
                return badValue("give a whole number from 1 to 99999");
            }
            series.count = static_cast<int>(*count);
        } else if (option == "--size") {
            const auto size = parsePair(value, 'x', parseWholeNumber);
            if (!size || size->first < 1 || size->second < 1 || size->first > 16384 ||
                size->second > 16384) {
                return badValue("give the size as WxH, each from 1 to 16384, e.g. 640x360");
            }
            series.pixelWidth = static_cast<int>(size->first);
            series.pixelHeight = static_cast<int>(size->second);
        } else if (option == "--center") {
            const auto center = parsePair(value, ',', parseDecimal);
            if (!center || std::abs(center->first) > 4.0 || std::abs(center->second) > 4.0) {
                return badValue("give the point as RE,IM within -4 ... 4, e.g. -0.75,0.1");
            }
            series.centerRe = center->first;
            series.centerIm = center->second;
        } else if (option == "--iterations") {
            const auto iterations = parseWholeNumber(value);
            if (!iterations || *iterations < 1 || *iterations > 100000000) {
                return badValue("give a whole number from 1 to 100000000");
            }
            series.maxIteration = static_cast<int>(*iterations);
        } else if (option == "--zoom-factor") {
            const auto factor = parseDecimal(value);
            if (!factor || *factor <= 1.0 || *factor > 1000.0) {
                return badValue("give a number above 1 and at most 1000, e.g. 2");
            }
            series.zoomFactor = *factor;
        }
    }
    return std::nullopt;
}

// Double precision resolves neighbouring pixels only while they are some thousand units in the
// last place of the coordinates apart.
bool resolvedInDoublePrecision(const KeyFrameSeries& series) {
    const double deepestPixel =
        series.widestWidth / std::pow(series.zoomFactor, series.count - 1) / series.pixelWidth;
    const double magnitude = std::max({1.0, std::abs(series.centerRe), std::abs(series.centerIm)});
    return deepestPixel > 1e-13 * magnitude;
}

// Computes and writes the series, with its progress on a terminal; 0, or 1 after saying why
// not.
int writeSeries(const KeyFrameSeries& series, ProgramThreads& threads) {
    const bool terminal = isatty(fileno(stderr));
    std::string error;
    const bool written = makeKeyFrameSeries(
        series,
        [&](int done, int total) {
            if (terminal) {
                std::cerr << "\rkey frame " << done << " of " << total << std::flush;
                if (done == total) {
                    std::cerr << "\n";
                }
            }
        },
        &error, threads.share());
    if (!written) {
        if (terminal) {
            std::cerr << "\n";
        }
        std::cerr << "zoomreel-cli make-keyframes: " << error << "\n";
        return 1;
    }
    std::cout << "wrote " << series.count << " key frames of " << series.pixelWidth << " x "
              << series.pixelHeight << " to " << series.folder << "\n";
    return 0;
}

}  // namespace

int runMakeKeyframesCommand(const std::vector<std::string>& args) {
    const CliCommand& command = *findCliCommand("make-keyframes");
    CommandLine commandLine;
    if (const std::optional<int> status = readCommandLine(command, args, commandLine))
        return *status;
    KeyFrameSeries series;
    if (const std::optional<int> status = readSeriesOptions(command, commandLine, series))
        return *status;
    if (!resolvedInDoublePrecision(series)) {
        return usageError(command,
                          "the deepest key frame would zoom beyond what double precision "
                          "resolves: use fewer key frames, a smaller zoom factor or a smaller "
                          "size");
    }
    // Key frames written among other files would replace those of the same names and mix with
    // the others into one folder that no longer holds one zoom.
    std::error_code unreadable;
    if (!commandLine.hasExtra("--force") && std::filesystem::exists(series.folder, unreadable) &&
        !std::filesystem::is_empty(series.folder, unreadable)) {
        std::cerr << "zoomreel-cli make-keyframes: the folder \"" << series.folder
                  << "\" already holds files; choose a new or empty folder, or give --force to "
                     "write into it (key frames of the same names are then replaced)\n";
        return 1;
    }
    ProgramThreads threads(threadBudgetOf(commandLine));
    return writeSeries(series, threads);
}

}  // namespace zr
