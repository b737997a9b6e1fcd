#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zr {

// What the shell completion offers for a value.
enum class ValueCompletion {
    kNone,
    kFolder,
    kFile,
    kSettingsFile,  // *.zrs files
    kCodec,         // the names "zoomreel-cli codecs --names" prints
    kSettingsKey,   // KEY= for each settings-file key
    kPreset,        // the presets of the codecs
    kPixelFormat,   // the pixel formats of the codecs
};

// One option of a command or a program.
struct CliOption {
    std::string_view name;       // "--codec"
    std::string_view valueName;  // "FOURCC"; empty for an option without value
    std::string_view help;
    ValueCompletion completion = ValueCompletion::kNone;
    bool required = false;  // the command does not run without it
    bool hidden = false;    // left out of the usage texts and the manual
    // For an option whose value is a whole number, its range, checked where the command line
    // is read; min above max: a value of another kind, which the command checks itself.
    long long min = 1;
    long long max = 0;
    std::string_view unit = {};          // what the number counts: "key frames"
    std::string_view defaultValue = {};  // what the command takes without the option

    bool takesWholeNumber() const { return min <= max; }
};

// What a whole-number option takes: "a whole number of key frames, 1 to 99999".
std::string wholeNumberText(const CliOption& option);
// The help of an option as the usage texts and the manual show it: its meaning, then for a whole
// number its unit and range, and its default.
std::string optionHelp(const CliOption& option);

using CommandRunner = int (*)(const std::vector<std::string>& args);

// How a command takes the options that choose a movie file, its codec and its soundtrack.
enum class MovieFileOptionUse {
    kNone,
    kAsSettings,  // they set the movie's settings, as the settings options do (render, plan)
    kOwn,         // the command reads them itself (join: the movie it writes)
};

// One command of zoomreel-cli.
struct CliCommand {
    std::string_view name;     // "render"
    std::string_view operand;  // "FOLDER"; empty for a command without one
    // The operand in a sentence, for the message when it is missing: "key frame FOLDER".
    std::string_view operandText;
    ValueCompletion operandCompletion = ValueCompletion::kNone;
    // Whether it takes the options that choose the settings (render, preview and plan).
    bool takesSettings = false;
    // Whether and how it takes the options that choose a movie file, its codec and its
    // soundtrack.
    MovieFileOptionUse movieFileOptions = MovieFileOptionUse::kNone;
    std::span<const CliOption> options;
    std::string_view summary;      // one line for the list of commands
    std::string_view description;  // paragraphs separated by empty lines
    CommandRunner run = nullptr;
    // Whether it takes render's own options too, to hand them on to renders (submit).
    bool takesRenderOptions = false;
};

// A program: zoomreel-cli with its commands, or the desktop program with its options.
struct ProgramInfo {
    std::string_view name;     // "zoomreel-cli"
    std::string_view summary;  // what it is, in a few words
    std::string_view description;
    std::span<const CliCommand> commands;
    std::span<const CliOption> options;  // the program's own options besides --help and --version
};

const ProgramInfo& cliProgram();
const ProgramInfo& desktopProgram();

// The command of zoomreel-cli with this name; none for an unknown name.
const CliCommand* findCliCommand(std::string_view name);

// The options of render, preview, plan and join that choose the settings: --settings, --set,
// --zoom-size and the flags of the parameter table other than the movie file's.
std::span<const CliOption> settingsOptions();

// The options that choose a movie file, its codec and its soundtrack: the flags of the
// parameter table's movie file settings.
std::span<const CliOption> movieFileOptions();

// The options of render that submit hands on to every render it starts: all but --files.
std::span<const CliOption> renderTaskOptions();

// The options of a command under a title each: its own, the movie file options and the
// settings options, as far as it takes them.
struct OptionGroup {
    std::string_view title;
    std::span<const CliOption> options;
};
std::vector<OptionGroup> optionGroups(const CliCommand& command);

// Every option a command takes, in the order of its groups.
std::vector<CliOption> commandOptions(const CliCommand& command);

}  // namespace zr
