#include "app/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <system_error>

#include "app/folder_choice.h"
#include "app/usage_text.h"
#include "settings/memory_controls.h"
#include "settings/movie_spec.h"
#include "settings/parameter_check.h"
#include "settings/setting_types.h"
#include "settings/settings_file.h"
#include "support/folder_listing.h"
#include "support/text_pieces.h"

namespace zr {

namespace {

bool isHelpOption(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

std::string optionName(std::string_view arg) {
    return std::string(arg.substr(0, arg.find('=')));
}

const CliOption* findOption(std::span<const CliOption> options, std::string_view name) {
    const auto found = std::find_if(options.begin(), options.end(),
                                    [&](const CliOption& option) { return option.name == name; });
    return found == options.end() ? nullptr : &*found;
}

std::string readableNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// The largest zoom between key frames that --zoom-size takes.
constexpr double kLargestZoomSize = 1e6;

// Why `key` is no settings-file key, naming the key it may have meant.
std::string unknownKeyMessage(std::string_view key) {
    if (const std::string_view known = keyInOtherLetters(key); !known.empty()) {
        return "there is no key " + visibleText(key) +
               " (keys match exactly: " + std::string(known) + ")";
    }
    return "there is no key " + visibleText(key) +
           " (\"zoomreel-cli --help\" and the manual list the keys: FPS, SPEED, MSZ, ...)";
}

// Whether the value of an option of the settings group suits it; else why not.
bool readSettingsOption(const std::string& name, const std::string& value, CommandLine& commandLine,
                        std::string& error) {
    if (name == "--settings") {
        if (commandLine.settingsFile) {
            error = "option --settings given twice";
            return false;
        }
        commandLine.settingsFile = value;
    } else if (name == "--set") {
        const std::size_t split = value.find('=');
        if (split == std::string::npos) {
            error = "--set " + visibleText(value) +
                    ": --set wants KEY=VALUE with a settings-file key, such as FPS=25";
            return false;
        }
        const std::string key = value.substr(0, split);
        const std::string keyValue = value.substr(split + 1);
        const Parameter* parameter = parameterWithKey(key);
        if (parameter == nullptr) {
            error = "--set " + visibleText(value) + ": " + unknownKeyMessage(key);
            return false;
        }
        if (const std::optional<ValueProblem> problem = checkParameterValue(*parameter, keyValue)) {
            error = "--set " + visibleText(value) + ": " + valueProblemText(*parameter, *problem);
            return false;
        }
        commandLine.sets.emplace_back(key, keyValue);
    } else if (name == "--save-settings") {
        if (value.empty()) {
            error = "--save-settings: give the settings file to write, such as zoom.zrs";
            return false;
        }
        commandLine.saveSettingsFile = value;
    } else if (name == "--strict") {
        commandLine.strict = true;
    } else if (name == "--zoom-size") {
        const std::optional<double> zoom = parseDecimal(value);
        if (!zoom || *zoom <= 1.0 || *zoom > kLargestZoomSize) {
            error = "--zoom-size " + visibleText(value) +
                    ": --zoom-size is a decimal number, the zoom between key frames (with ZOL=4), "
                    "above 1 and at most 1000000";
            return false;
        }
        commandLine.zoomSize = value;
    } else {
        const Parameter& parameter = *parameterWithFlag(name);
        if (parameter.kind != ParameterKind::kCheck) {
            // A flag names its value; an empty one is a slip (the settings file's empty edits
            // are another matter).
            std::optional<ValueProblem> problem = checkParameterValue(parameter, value);
            if (value.empty() && !parameter.movieFile)
                problem = ValueProblem{};
            if (problem) {
                error =
                    name + " " + visibleText(value) + ": " + valueProblemText(parameter, *problem);
                return false;
            }
        }
        commandLine.flags.emplace_back(name, value);
    }
    return true;
}

// Whether the timeline lists name only key frames of the folder and the speed list reads as
// TimeType says; warnings for lines that have no effect, false with `error` for what would make
// another movie than the one asked for.
bool checkListsAgainstFolder(const Controls& controls, std::ostream& warnings, std::string& error) {
    const int keyFrames = controls.keyFrameCount();
    const int timeType = selectionOr(controls, kIdTimeType, kTimeTypeSpeed);
    for (const Parameter& parameter : parameters()) {
        if (parameter.kind != ParameterKind::kSpecList)
            continue;
        // Start reads the lines joined by line feeds, so a line feed inside a line parts it too.
        std::vector<std::string> lines;
        for (const std::string& entry : controls.lines(parameter.control))
            forEachPiece(entry, '\n', [&](std::string_view line) { lines.emplace_back(line); });
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            const std::size_t tab = line.find('\t');
            const std::string where = std::string(parameter.key) + " line " +
                                      std::to_string(i + 1) + " \"" + visibleText(line) + "\"";
            const std::optional<long long> keyFrame = parseInteger(line.substr(0, tab), 0, INT_MAX);
            if (keyFrame && *keyFrame >= keyFrames) {
                warnings << "warning: " << where << " names key frame " << *keyFrame
                         << ", but the folder's key frames are 0 to " << keyFrames - 1
                         << "; the line has no effect\n";
            }
            if (parameter.lineFormat != ListLineFormat::kSpeed || tab == std::string_view::npos)
                continue;
            const bool stamp = isTimeStamp(line.substr(tab + 1));
            if (stamp && timeType == kTimeTypeSpeed) {
                error = where +
                        ": a time stamp, but TimeType is 0 (speeds), which would read it "
                        "as a speed; give --set TimeType=1 or a speed";
                return false;
            }
            if (!stamp && timeType != kTimeTypeSpeed) {
                warnings << "warning: " << where << ": TimeType " << timeType
                         << " reads the number as a time stamp of seconds (ss), not as a speed\n";
            }
        }
    }
    return true;
}

// The zoom a key frame file's name carries ("00003_2.5e2.zmb": 250), or none.
std::optional<double> zoomOfName(const std::string& path) {
    const std::string name = std::filesystem::path(path).stem().string();
    const std::size_t underscore = name.rfind('_');
    if (underscore == std::string::npos)
        return std::nullopt;
    const std::optional<double> zoom = parseDecimal(name.substr(underscore + 1));
    return zoom && *zoom > 0.0 ? zoom : std::nullopt;
}

// Warns when the zooms the key frame names carry step by another of the listed zoom factors
// than the one chosen (key frames made with --zoom-factor 4 want ZOL=1).
void checkZoomOfNames(const Controls& controls, double chosen, std::ostream& warnings) {
    std::vector<std::string> files = listMatchingFiles(controls.text(kIdDirectory), "*.zmb");
    std::sort(files.begin(), files.end());
    std::vector<double> ratios;
    for (std::size_t i = 1; i < files.size() && i <= 4; ++i) {
        const std::optional<double> deeper = zoomOfName(files[i - 1]);
        const std::optional<double> wider = zoomOfName(files[i]);
        if (!deeper || !wider)
            return;
        ratios.push_back(*deeper / *wider);
    }
    if (ratios.empty())
        return;
    static constexpr double kListed[] = {2.0, 4.0, 8.0, 16.0};
    for (int entry = 0; entry < 4; ++entry) {
        const double listed = kListed[entry];
        const bool allFit = std::all_of(ratios.begin(), ratios.end(), [listed](double ratio) {
            return std::abs(ratio / listed - 1.0) < 0.01;
        });
        if (allFit && listed != chosen) {
            warnings << "warning: the key frame names step by a zoom of " << listed
                     << ", but the zoom out level (ZOL) gives " << readableNumber(chosen)
                     << " between key frames; --set ZOL=" << entry << " fits them\n";
        }
    }
}

// Checks what only the chosen folder and the settings together tell: the start frame, the
// lists' key frames, and whether the movie's pictures fit in memory.
bool checkAgainstFolder(const CommandLine& commandLine, const Controls& controls,
                        std::ostream& warnings, std::string& error) {
    const int keyFrames = controls.keyFrameCount();
    if (keyFrames < 1)
        return true;  // the command says the folder holds no key frame
    if (const long long startFrame = readInt(controls.text(kIdStartFrame));
        startFrame >= keyFrames) {
        error = "--start-frame " + std::to_string(startFrame) +
                ": the folder's key frames are 0 to " + std::to_string(keyFrames - 1);
        return false;
    }
    if (!checkListsAgainstFolder(controls, warnings, error))
        return false;
    const bool rotation = !controls.lines(kIdRotateList).empty() ||
                          readDouble(controls.text(kIdStartRotation)) != 0.0;
    if (controls.checked(kIdDumpImages) && !rotation) {
        warnings << "warning: --dump-images saves pictures only while the movie turns (a ROTATE "
                    "line or --start-rotation); this movie does not turn\n";
    }
    if (readInt(controls.text(kIdSupersample)) > 1 && !controls.checked(kIdSubpixelZoom)) {
        warnings << "warning: Supersample " << controls.text(kIdSupersample)
                 << " changes nothing without sub-pixel zoom (--subpixel-zoom or --set "
                    "SubpixelZoom=1)\n";
    }
    const int width = readInt(controls.text(kIdMovieWidth));
    const int height = readInt(controls.text(kIdMovieHeight));
    const bool custom = selectionOr(controls, kIdZoomOutLevel, 0) == kCustomZoomEntry;
    const double zoom =
        custom && commandLine.zoomSize ? readDouble(*commandLine.zoomSize) : zoomFactorOf(controls);
    checkZoomOfNames(controls, zoom, warnings);
    if (width < 1 || height < 1) {
        error = "a movie of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels cannot be made; give MSZ (the width, 2 to 16384) or --movie-height";
        return false;
    }
    if (!moviePicturesFit(width, height, zoom)) {
        error = "Movie too large: " + std::to_string(width) + "x" + std::to_string(height) +
                " pixels with zoom factor " + readableNumber(zoom) +
                " needs pictures of more than 1 GB; choose a smaller movie size or zoom factor";
        return false;
    }
    return true;
}

}  // namespace

bool parseArguments(std::span<const CliOption> options, const std::vector<std::string>& args,
                    ParsedArguments& parsed, std::string& error) {
    parsed = ParsedArguments();
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    CLI::Option* help = app.add_flag("-h,--help");
    CLI::Option* operands = app.add_option("operands", parsed.operands)->expected(0, -1);
    std::vector<std::pair<CLI::Option*, const CliOption*>> known;
    for (const CliOption& option : options) {
        const std::string name(option.name);
        CLI::Option* added =
            option.valueName.empty() ? app.add_flag(name) : app.add_option(name)->expected(1);
        added->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        known.emplace_back(added, &option);
    }

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& mismatch) {
        // An option that wants a value came last, or was given "--option=" with nothing.
        const CliOption* missing = nullptr;
        bool givenEmpty = false;  // "--option=" rather than "--option" at the end
        for (std::size_t i = 0; i < args.size() && missing == nullptr; ++i) {
            const CliOption* option = findOption(options, optionName(args[i]));
            givenEmpty = args[i].ends_with('=');
            if (option != nullptr && !option->valueName.empty() &&
                (givenEmpty || (i + 1 == args.size() && args[i] == option->name)))
                missing = option;
        }
        if (missing == nullptr) {
            error = mismatch.what();
            return false;
        }
        const std::string name(missing->name);
        const std::string usage = "(" + name + " " + std::string(missing->valueName) + ")";
        error = givenEmpty ? name + ": the option is given no value " + usage
                           : "option " + name + " needs a value " + usage;
        return false;
    } catch (const CLI::ParseError& other) {
        error = other.what();
        return false;
    }
    parsed.help = help->count() > 0;

    for (const std::string& extra : app.remaining()) {
        if (extra == "--")
            continue;
        error = extra.starts_with("-") ? "unknown option " + optionName(extra)
                                       : "unexpected argument \"" + extra + "\"";
        return false;
    }

    // Each option's values in the order given, option by option.
    std::map<CLI::Option*, std::size_t> used;
    for (CLI::Option* option : app.parse_order()) {
        if (option == help || option == operands)
            continue;
        const auto entry = std::find_if(known.begin(), known.end(),
                                        [&](const auto& pair) { return pair.first == option; });
        if (entry == known.end())
            continue;
        const std::size_t index = used[option]++;
        const std::vector<std::string>& results = option->results();
        const std::string value = index < results.size() ? results[index] : std::string();
        const CliOption& described = *entry->second;
        if (described.valueName.empty()) {
            // A flag reads "true" unless a value was given to it.
            if (value != "true") {
                error = "option " + std::string(described.name) + " takes no value";
                return false;
            }
            parsed.options.emplace_back(described.name, "");
        } else {
            parsed.options.emplace_back(described.name, value);
        }
    }
    return true;
}

std::string CommandLine::extra(std::string_view name) const {
    const auto found = extras.find(name);
    return found == extras.end() ? std::string() : found->second;
}

bool parseCommandLine(const CliCommand& command, const std::vector<std::string>& args,
                      CommandLine& commandLine, std::string& error) {
    commandLine = CommandLine();
    commandLine.command = command.name;
    const std::vector<CliOption> options = commandOptions(command);
    ParsedArguments parsed;
    const bool read = parseArguments(options, args, parsed, error);
    // Asking for help wins over any mistake.
    if (parsed.help || std::any_of(args.begin(), args.end(), isHelpOption)) {
        commandLine.help = true;
        return true;
    }
    if (!read)
        return false;

    const std::span<const CliOption> settings = settingsOptions();
    const bool movieOptionsAreSettings =
        command.movieFileOptions == MovieFileOptionUse::kAsSettings;
    for (const auto& [name, value] : parsed.options) {
        if ((command.takesSettings && findOption(settings, name) != nullptr) ||
            (movieOptionsAreSettings && findOption(movieFileOptions(), name) != nullptr)) {
            if (!readSettingsOption(name, value, commandLine, error))
                return false;
        } else {
            const CliOption* option = findOption(options, name);
            if (option != nullptr && option->takesWholeNumber() &&
                !parseInteger(value, option->min, option->max)) {
                error = name + " " + visibleText(value) + ": " + name + " is " +
                        wholeNumberText(*option);
                return false;
            }
            commandLine.extras[name] = value;
        }
    }
    for (const CliOption& option : command.options) {
        if (option.required && !commandLine.hasExtra(option.name)) {
            error = "option " + std::string(option.name) + " " + std::string(option.valueName) +
                    " is required";
            return false;
        }
    }

    const std::vector<std::string>& operands = parsed.operands;
    if (command.operand.empty()) {
        if (!operands.empty()) {
            error = "unexpected argument \"" + operands.front() +
                    "\": " + std::string(command.name) + " takes only options";
            return false;
        }
    } else if (operands.empty()) {
        error = "no " + std::string(command.operandText) + " given";
        return false;
    } else if (operands.size() > 1) {
        error = "more than one " + std::string(command.operand) + " given (\"" + operands[0] +
                "\" and \"" + operands[1] + "\")";
        return false;
    } else {
        commandLine.folder = operands.front();
    }
    return true;
}

int usageError(const CliCommand& command, std::string_view message) {
    std::cerr << "zoomreel-cli " << command.name << ": " << message << "\n(\"zoomreel-cli "
              << command.name << " --help\" lists the options)\n";
    return 2;
}

bool checkSettingsFileOption(const CliCommand& command, const std::string& path, bool strict,
                             std::string& error) {
    const SettingsFileResult checked = checkSettingsFile(path);
    if (!checked.ok)
        return true;  // applying it says why it cannot be read
    // Lines the dialog would pass over are warned of; a value it would take wrongly is refused.
    for (const SettingsLineFinding& finding : checked.findings) {
        const std::string place = visibleText(path) + ":" + std::to_string(finding.line) + ": ";
        if (finding.issue == SettingsLineIssue::kBadValue || strict) {
            if (error.empty())
                error = place + finding.message + (strict ? " (--strict)" : "");
        } else {
            std::cerr << "zoomreel-cli " << command.name << ": warning: " << place
                      << finding.message << "\n";
        }
    }
    if (error.empty() && checked.knownKeys == 0 && !checked.empty) {
        error = "--settings " + visibleText(path) +
                ": the file holds no line of a settings-file key (\"FPS: 30\", ...); it is no "
                "settings file";
    }
    return error.empty();
}

std::optional<int> readCommandLine(const CliCommand& command, const std::vector<std::string>& args,
                                   CommandLine& commandLine) {
    std::string error;
    if (!parseCommandLine(command, args, commandLine, error))
        return usageError(command, error);
    if (commandLine.help) {
        std::cout << commandHelp(cliProgram(), command);
        return 0;
    }
    if (commandLine.settingsFile &&
        !checkSettingsFileOption(command, *commandLine.settingsFile, commandLine.strict, error)) {
        return usageError(command, error);
    }
    return std::nullopt;
}

std::string missingFolderMessage(const std::string& folder) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(folder, error);
    constexpr const char* kAdvice =
        "; give the folder that holds the key frames (.zmb files or pictures), or make one with "
        "\"zoomreel-cli make-keyframes FOLDER\"";
    if (!std::filesystem::exists(status))
        return "the folder \"" + folder + "\" does not exist" + kAdvice;
    if (!std::filesystem::is_directory(status))
        return "\"" + folder + "\" is not a folder" + kAdvice;
    return {};
}

int applyCommandLine(const CommandLine& commandLine, MemoryControls& controls,
                     std::ostream& errors) {
    const std::string prefix = commandLine.command.empty()
                                   ? std::string("zoomreel-cli: ")
                                   : "zoomreel-cli " + std::string(commandLine.command) + ": ";
    if (const std::string missing = missingFolderMessage(commandLine.folder); !missing.empty()) {
        errors << prefix << missing << "\n";
        return 1;
    }
    const FolderChoiceResult folder = chooseKeyFrameFolder(controls, commandLine.folder);
    if (!folder.ok) {
        errors << prefix << folder.message << ": " << folder.detail << "\n";
        return 1;
    }
    // "Frames per movie" that a settings file or --set gives stays as it is given.
    bool framesPerMovieGiven = false;
    if (commandLine.settingsFile) {
        const SettingsFileResult loaded = loadSettingsFile(controls, *commandLine.settingsFile);
        framesPerMovieGiven =
            std::find(loaded.keys.begin(), loaded.keys.end(), "FPM") != loaded.keys.end();
        if (!loaded.ok) {
            errors << prefix << "cannot load the settings file: " << loaded.detail << "\n";
            return 1;
        }
        for (const std::string& note : loaded.notes)
            errors << prefix << note << "\n";
    }
    for (const auto& [key, value] : commandLine.sets) {
        framesPerMovieGiven = framesPerMovieGiven || key == "FPM";
        std::vector<std::string> notes;
        applySettingsValue(controls, key, value, &notes);
        for (const std::string& note : notes)
            errors << prefix << note << "\n";
    }
    controls.setText(kIdDirectory, commandLine.folder);

    for (const auto& [name, value] : commandLine.flags) {
        const Parameter& parameter = *parameterWithFlag(name);
        if (parameter.flagValue == FlagValueKind::kFile && !value.empty()) {
            // A file named on the command line is found from the current folder.
            std::error_code error;
            const std::filesystem::path absolute = std::filesystem::absolute(value, error);
            applyParameterValue(controls, parameter, error ? value : absolute.string(), nullptr);
            continue;
        }
        // A check box's flag comes without a value: it checks the box.
        applyParameterValue(controls, parameter,
                            parameter.kind == ParameterKind::kCheck ? "1" : value, nullptr);
    }
    if (commandLine.zoomSize)
        controls.setZoomSizeAnswer(*commandLine.zoomSize);
    if (!framesPerMovieGiven)
        proposeFramesPerMovieForContainer(controls);
    std::ostringstream warnings;
    std::string error;
    bool fits = checkAgainstFolder(commandLine, controls, warnings, error);
    if (fits && commandLine.strict && !warnings.str().empty()) {
        fits = false;
        error = "--strict: refused for the warning above";
    }
    std::istringstream lines(warnings.str());
    for (std::string line; std::getline(lines, line);)
        errors << prefix << line << "\n";
    if (!fits) {
        errors << prefix << error << "\n";
        return 1;
    }
    if (commandLine.saveSettingsFile) {
        std::error_code linkError;
        if (std::filesystem::is_symlink(*commandLine.saveSettingsFile, linkError)) {
            errors << prefix << "--save-settings " << *commandLine.saveSettingsFile
                   << ": is a symbolic link, which is not written through; name the file itself\n";
            return 1;
        }
        const SettingsFileResult saved = saveSettingsFile(controls, *commandLine.saveSettingsFile);
        if (!saved.ok) {
            errors << prefix << "--save-settings: " << saved.detail << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace zr
