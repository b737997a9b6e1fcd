#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/program_info.h"
#include "settings/parameters.h"

namespace zr {

class MemoryControls;

// The arguments as the option table reads them: the operands, and each option with its value
// ("" for an option without value) in the order given.
struct ParsedArguments {
    std::vector<std::string> operands;
    std::vector<std::pair<std::string, std::string>> options;
    bool help = false;  // -h or --help was given
};

// Reads the arguments against `options` (and -h, --help): "--option VALUE" and
// "--option=VALUE". Returns false with `error` naming the option for an unknown option, a
// missing value, or a value given to an option without one.
bool parseArguments(std::span<const CliOption> options, const std::vector<std::string>& args,
                    ParsedArguments& parsed, std::string& error);

// The arguments of a command after its name, checked and ready to be applied: the operand
// (FOLDER), the settings file, the --set pairs and the flags in the order given, and the
// command's own options.
struct CommandLine {
    std::string folder;
    std::optional<std::string> settingsFile;
    std::optional<std::string> saveSettingsFile;             // --save-settings
    bool strict = false;                                     // --strict: warnings refuse
    std::vector<std::pair<std::string, std::string>> sets;   // key, value
    std::vector<std::pair<std::string, std::string>> flags;  // option, value ("" for none)
    std::optional<std::string> zoomSize;                     // answer for "Custom..."
    std::map<std::string, std::string, std::less<>> extras;  // the last occurrence counts
    bool help = false;                                       // the command's help was asked for
    std::string_view command;                                // "render", for messages

    bool hasExtra(std::string_view name) const { return extras.find(name) != extras.end(); }
    std::string extra(std::string_view name) const;
};

// Reads the arguments of `command`. Values of the settings options are checked here. Returns
// false with `error` naming the option for an unknown option, a missing or bad value, a
// missing required option, or a missing or second operand. With -h or --help it returns true
// and sets `help` whatever else is wrong.
bool parseCommandLine(const CliCommand& command, const std::vector<std::string>& args,
                      CommandLine& commandLine, std::string& error);

// parseCommandLine for a command about to run: prints the help on standard output (exit
// status 0) or the usage error on standard error (exit status 2). None when the command runs.
std::optional<int> readCommandLine(const CliCommand& command, const std::vector<std::string>& args,
                                   CommandLine& commandLine);

// Writes "zoomreel-cli COMMAND: message" and where the options are described to standard
// error; returns the exit status of a usage error, 2.
int usageError(const CliCommand& command, std::string_view message);

// Sets the controls as a person at the dialog would: chooses FOLDER (key frame size, movie
// size, "Frames per movie", key frame count), loads the settings file, applies each --set in
// order, then the flags; FOLDER stays the folder whatever DIR the settings hold. Then checks
// what the folder and the settings rule out together (a start frame past the last key frame, a
// speed list that TimeType reads otherwise, pictures over 1 GB), warns of what changes nothing,
// and writes --save-settings. Returns 0, or 1 after writing what failed to `errors`.
int applyCommandLine(const CommandLine& commandLine, MemoryControls& controls,
                     std::ostream& errors);

// Empty when `folder` is a folder that exists, else a message that says what it is not.
std::string missingFolderMessage(const std::string& folder);

}  // namespace zr
