#include "app/cli_options.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "app/folder_choice.h"
#include "settings/memory_controls.h"
#include "settings/movie_settings.h"
#include "settings/settings_file.h"

namespace zr {

namespace {

enum class ValueCheck { kNone, kCount, kDecimal, kHeight, kColor };

struct CommonFlag {
    std::string_view name;
    int control;
    ValueCheck check;
};

// Settings that the settings file does not store, and the control each one sets.
constexpr CommonFlag kCommonFlags[] = {
    {"--start-frame", kIdStartFrame, ValueCheck::kCount},
    {"--start-cycle", kIdStartCycle, ValueCheck::kDecimal},
    {"--start-rotation", kIdStartRotation, ValueCheck::kDecimal},
    {"--start-iteration", kIdStartIteration, ValueCheck::kCount},
    {"--movie-height", kIdMovieHeight, ValueCheck::kHeight},
    {"--inside-color", kIdInsideColor, ValueCheck::kColor},
    {"--frame-by-frame", kIdFrameByFrame, ValueCheck::kNone},
    {"--elliptic", kIdEllipticRegion, ValueCheck::kNone},
    {"--fixed-cycling", kIdFixedColorCycling, ValueCheck::kNone},
    {"--left-scrolling", kIdLeftScrolling, ValueCheck::kNone},
    {"--aspect43", kIdAspect43, ValueCheck::kNone},
    {"--div-slopes", kIdDivideSlopes, ValueCheck::kNone},
    {"--test-only", kIdTestOnly, ValueCheck::kNone},
    {"--skip-render", kIdSkipRender, ValueCheck::kNone},
    {"--dump-images", kIdDumpImages, ValueCheck::kNone},
    {"--wave-coloring", kIdWaveColoring, ValueCheck::kNone},
};

constexpr std::string_view kUsage =
    "  --settings FILE.zrs    load a settings file as the dialog's \"Load settings\" does\n"
    "  --set KEY=VALUE        a settings-file key and value (repeatable, after --settings)\n"
    "  --start-frame K  --start-cycle X  --start-rotation X  --start-iteration N\n"
    "  --movie-height H  --inside-color R,G,B  --zoom-size Z (for \"Custom...\")\n"
    "  --frame-by-frame  --elliptic  --fixed-cycling  --left-scrolling  --aspect43\n"
    "  --div-slopes  --test-only  --skip-render  --dump-images  --wave-coloring\n";

const CommonFlag* findCommonFlag(std::string_view name) {
    for (const CommonFlag& flag : kCommonFlags) {
        if (flag.name == name)
            return &flag;
    }
    return nullptr;
}

std::optional<std::uint32_t> parseColor(std::string_view text) {
    std::uint32_t color = 0;
    for (int channel = 0; channel < 3; ++channel) {
        const std::size_t comma = text.find(',');
        const bool last = channel == 2;
        if (last != (comma == std::string_view::npos))
            return std::nullopt;
        const std::optional<long long> value = parseInteger(text.substr(0, comma), 0, 255);
        if (!value)
            return std::nullopt;
        color |= static_cast<std::uint32_t>(*value) << (8 * channel);
        if (!last)
            text.remove_prefix(comma + 1);
    }
    return color;
}

// Empty when the value suits the check, else what is wrong with it.
std::string checkValue(ValueCheck check, std::string_view value) {
    switch (check) {
        case ValueCheck::kNone:
            return {};
        case ValueCheck::kCount:
            return parseInteger(value, 0, 2147483647) ? "" : "a whole number 0 or larger";
        case ValueCheck::kDecimal:
            return parseDecimal(value) ? "" : "a decimal number";
        case ValueCheck::kHeight:
            return parseInteger(value, 1, 2147483647) ? "" : "a whole number 1 or larger";
        case ValueCheck::kColor:
            return parseColor(value) ? "" : "three numbers 0 to 255 as R,G,B";
    }
    return {};
}

bool takesValue(std::string_view name, const std::vector<ExtraOption>& extras,
                const ExtraOption** extra) {
    *extra = nullptr;
    if (name == "--settings" || name == "--set" || name == "--zoom-size")
        return true;
    if (const CommonFlag* flag = findCommonFlag(name))
        return flag->check != ValueCheck::kNone;
    for (const ExtraOption& option : extras) {
        if (option.name == name) {
            *extra = &option;
            return !option.valueName.empty();
        }
    }
    return false;
}

bool isKnown(std::string_view name, const std::vector<ExtraOption>& extras) {
    if (name == "--settings" || name == "--set" || name == "--zoom-size")
        return true;
    if (findCommonFlag(name) != nullptr)
        return true;
    for (const ExtraOption& option : extras) {
        if (option.name == name)
            return true;
    }
    return false;
}

}  // namespace

std::string CommandLine::extra(std::string_view name) const {
    const auto found = extras.find(name);
    return found == extras.end() ? std::string() : found->second;
}

std::optional<long long> parseInteger(std::string_view text, long long min, long long max) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long long value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<double> parseDecimal(std::string_view text) {
    const std::string copy(text);
    if (copy.empty() || std::isspace(static_cast<unsigned char>(copy.front())))
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string_view commonOptionsUsage() {
    return kUsage;
}

bool parseCommandLine(const std::vector<std::string>& args, const std::vector<ExtraOption>& extras,
                      CommandLine& commandLine, std::string& error) {
    commandLine = CommandLine();
    bool haveFolder = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (haveFolder) {
                error = "more than one FOLDER given (\"" + commandLine.folder + "\" and \"" + arg +
                        "\")";
                return false;
            }
            commandLine.folder = arg;
            haveFolder = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (!isKnown(name, extras)) {
            error = "unknown option " + name;
            return false;
        }
        const ExtraOption* extra = nullptr;
        std::string value;
        if (takesValue(name, extras, &extra)) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = "option " + name + " needs a value";
                return false;
            }
        } else if (equals != std::string::npos) {
            error = "option " + name + " takes no value";
            return false;
        }

        if (extra != nullptr) {
            commandLine.extras[name] = value;
        } else if (name == "--settings") {
            if (commandLine.settingsFile) {
                error = "option --settings given twice";
                return false;
            }
            commandLine.settingsFile = value;
        } else if (name == "--set") {
            const std::size_t split = value.find('=');
            const std::string key = value.substr(0, split);
            if (split == std::string::npos || !isSettingsKey(key)) {
                error =
                    "option --set wants KEY=VALUE with a settings-file key (FPS, SPEED, MSZ, "
                    "...), not \"" +
                    value + "\"";
                return false;
            }
            commandLine.sets.emplace_back(key, value.substr(split + 1));
        } else if (name == "--zoom-size") {
            if (!parseDecimal(value)) {
                error = "option --zoom-size wants a decimal number, not \"" + value + "\"";
                return false;
            }
            commandLine.zoomSize = value;
        } else {
            const CommonFlag* flag = findCommonFlag(name);
            const std::string problem = checkValue(flag->check, value);
            if (!problem.empty()) {
                error = "option " + name + " wants " + problem + ", not \"" + value + "\"";
                return false;
            }
            commandLine.flags.emplace_back(name, value);
        }
    }
    if (!haveFolder) {
        error = "no key frame FOLDER given";
        return false;
    }
    return true;
}

int applyCommandLine(const CommandLine& commandLine, MemoryControls& controls,
                     std::ostream& errors) {
    const FolderChoiceResult folder = chooseKeyFrameFolder(controls, commandLine.folder);
    if (!folder.ok) {
        errors << "zoomreel-cli: " << folder.message << ": " << folder.detail << "\n";
        return 1;
    }
    if (commandLine.settingsFile) {
        const SettingsFileResult loaded = loadSettingsFile(controls, *commandLine.settingsFile);
        if (!loaded.ok) {
            errors << "zoomreel-cli: cannot load the settings file: " << loaded.detail << "\n";
            return 1;
        }
        for (const std::string& note : loaded.notes)
            errors << "zoomreel-cli: " << note << "\n";
    }
    for (const auto& [key, value] : commandLine.sets) {
        std::vector<std::string> notes;
        applySettingsValue(controls, key, value, &notes);
        for (const std::string& note : notes)
            errors << "zoomreel-cli: " << note << "\n";
    }
    controls.setText(kIdDirectory, commandLine.folder);

    for (const auto& [name, value] : commandLine.flags) {
        const CommonFlag* flag = findCommonFlag(name);
        if (flag->check == ValueCheck::kNone) {
            controls.setChecked(flag->control, true);
        } else if (flag->check == ValueCheck::kColor) {
            movieSettings().insideColor = *parseColor(value);
        } else {
            controls.setText(flag->control, value);
        }
    }
    if (commandLine.zoomSize)
        controls.setZoomSizeAnswer(*commandLine.zoomSize);
    return 0;
}

}  // namespace zr
