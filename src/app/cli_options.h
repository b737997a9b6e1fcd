#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zr {

class MemoryControls;

// An option that one command adds to the options that render, preview and plan share.
struct ExtraOption {
    std::string name;       // "--codec"
    std::string valueName;  // "FOURCC"; empty for an option without value
};

// The arguments of render, preview or plan after the command's name, checked and ready to be
// applied: the folder, the settings file, the --set pairs and the flags in the order given,
// and the command's own options.
struct CommandLine {
    std::string folder;
    std::optional<std::string> settingsFile;
    std::vector<std::pair<std::string, std::string>> sets;   // key, value
    std::vector<std::pair<std::string, std::string>> flags;  // option, value ("" for none)
    std::optional<std::string> zoomSize;                     // answer for "Custom..."
    std::map<std::string, std::string, std::less<>> extras;  // the last occurrence counts

    bool hasExtra(std::string_view name) const { return extras.find(name) != extras.end(); }
    std::string extra(std::string_view name) const;
};

// Reads the arguments: one FOLDER and options, "--option VALUE" or "--option=VALUE". Values of
// the shared options are checked here. Returns false with `error` naming the option for an
// unknown option, a missing or bad value, or a missing or second FOLDER.
bool parseCommandLine(const std::vector<std::string>& args, const std::vector<ExtraOption>& extras,
                      CommandLine& commandLine, std::string& error);

// Sets the controls as a person at the dialog would: chooses FOLDER (key frame size, movie
// size, "Frames per movie", key frame count), loads the settings file, applies each --set in
// order, then the flags; FOLDER stays the folder whatever DIR the settings hold. The inside
// colour goes straight into the record. Returns 0, or 1 after writing what failed to `errors`.
int applyCommandLine(const CommandLine& commandLine, MemoryControls& controls,
                     std::ostream& errors);

// Strict readers of option values: the whole text must be the number.
std::optional<long long> parseInteger(std::string_view text, long long min, long long max);
std::optional<double> parseDecimal(std::string_view text);

// The usage lines of the shared options, for a command's help.
std::string_view commonOptionsUsage();

}  // namespace zr
