#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "app/commands.h"
#include "keyframes/mandelbrot.h"

namespace zr {

namespace {

constexpr std::string_view kUsage =
    "usage: zoomreel-cli make-keyframes OUTDIR [--count N] [--size WxH] [--center RE,IM]\n"
    "                                   [--iterations N] [--zoom-factor Z]\n"
    "  --count N         number of key frames, 1 to 99999 (default 30)\n"
    "  --size WxH        key frame size in pixels, 1 to 16384 each (default 640x360)\n"
    "  --center RE,IM    the point zoomed into (default -0.743643887037151,0.131825904205330)\n"
    "  --iterations N    iteration limit, 1 to 100000000 (default 4000)\n"
    "  --zoom-factor Z   each key frame is Z times wider than the next, above 1 (default 2)\n";

std::optional<long long> parseInteger(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseDecimal(std::string_view text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
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

int usageError(const std::string& message) {
    std::cerr << "zoomreel-cli make-keyframes: " << message << "\n" << kUsage;
    return 2;
}

}  // namespace

int runMakeKeyframesCommand(const std::vector<std::string>& args) {
    KeyFrameSeries series;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::optional<std::string> value;
        if (const std::size_t equals = option.find('=');
            option.starts_with("--") && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.erase(equals);
        }
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (!option.starts_with("--")) {
            if (!series.folder.empty()) {
                return usageError("more than one output folder given (\"" + series.folder +
                                  "\" and \"" + option + "\")");
            }
            series.folder = option;
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return usageError(option + " needs a value");
            }
            value = args[++i];
        }
        const std::string bad = "bad value \"" + *value + "\" for " + option + ": ";
        if (option == "--count") {
            const auto count = parseInteger(*value);
            if (!count || *count < 1 || *count > 99999) {
                return usageError(bad + "give a whole number from 1 to 99999");
            }
            series.count = static_cast<int>(*count);
        } else if (option == "--size") {
            const auto size = parsePair(*value, 'x', parseInteger);
            if (!size || size->first < 1 || size->second < 1 || size->first > 16384 ||
                size->second > 16384) {
                return usageError(bad + "give the size as WxH, each from 1 to 16384, e.g. 640x360");
            }
            series.pixelWidth = static_cast<int>(size->first);
            series.pixelHeight = static_cast<int>(size->second);
        } else if (option == "--center") {
            const auto center = parsePair(*value, ',', parseDecimal);
            if (!center || std::abs(center->first) > 4.0 || std::abs(center->second) > 4.0) {
                return usageError(bad + "give the point as RE,IM within -4 ... 4, e.g. -0.75,0.1");
            }
            series.centerRe = center->first;
            series.centerIm = center->second;
        } else if (option == "--iterations") {
            const auto iterations = parseInteger(*value);
            if (!iterations || *iterations < 1 || *iterations > 100000000) {
                return usageError(bad + "give a whole number from 1 to 100000000");
            }
            series.maxIteration = static_cast<int>(*iterations);
        } else if (option == "--zoom-factor") {
            const auto factor = parseDecimal(*value);
            if (!factor || *factor <= 1.0 || *factor > 1000.0) {
                return usageError(bad + "give a number above 1 and at most 1000, e.g. 2");
            }
            series.zoomFactor = *factor;
        } else {
            return usageError("unknown option " + option);
        }
    }
    if (series.folder.empty()) {
        return usageError("no output folder given");
    }

    // Double precision resolves neighbouring pixels only while they are some thousand units
    // in the last place of the coordinates apart.
    const double deepestPixel =
        series.widestWidth / std::pow(series.zoomFactor, series.count - 1) / series.pixelWidth;
    const double magnitude = std::max({1.0, std::abs(series.centerRe), std::abs(series.centerIm)});
    if (!(deepestPixel > 1e-13 * magnitude)) {
        return usageError(
            "the deepest key frame would zoom beyond what double precision "
            "resolves: use fewer key frames, a smaller zoom factor or a smaller size");
    }

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
        &error);
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

}  // namespace zr
