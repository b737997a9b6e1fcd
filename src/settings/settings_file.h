#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/controls.h"
#include "settings/parameters.h"

namespace zr {

// The text of the settings file for the controls: one "KEY: value" line per setting, each
// ended by CR LF, in the fixed order.
std::string settingsText(const Controls& controls);

// Applies a settings file's text to the controls. Lines may end in CR LF or LF alone. The first
// occurrence of a key counts; keys are case-sensitive; unknown keys are ignored; a missing key
// leaves its control alone, except the keys a file leaves out at their default (sub-pixel zoom,
// supersampling, the movie file and its sound), which return to it. Returns the notes about
// values that were refused (a texture path too long for its field).
std::vector<std::string> applySettingsText(Controls& controls, std::string_view text);

// What a line of a settings file holds that loading passes over or cannot use.
enum class SettingsLineIssue {
    kUnknownKey,     // a key the file does not know: the line is passed over
    kKeyLetterCase,  // a known key in other letters ("Fps"): passed over, keys match exactly
    kNoKey,          // no "KEY: value" line at all: passed over
    kRepeatedKey,    // a key given before: the first one counts
    kZeroByte,       // the file ends at its first zero byte: what follows is not read
    kBadValue,       // a value the key does not take (out of range, no number, a bad list line)
};

struct SettingsLineFinding {
    int line = 0;  // counting from 1
    SettingsLineIssue issue = SettingsLineIssue::kUnknownKey;
    std::string key;
    std::string message;  // what is wrong and what was done, without the place
};

// What is wrong with the lines of a settings file's text, line by line, without applying it.
// `knownKeys` counts the lines with a key the file knows.
std::vector<SettingsLineFinding> checkSettingsText(std::string_view text, int* knownKeys = nullptr,
                                                   std::vector<std::string>* keys = nullptr);

// Whether `key` is one of the settings file's keys.
bool isSettingsKey(std::string_view key);

// Applies one key and value as loading a file holding that line would. Returns false for a
// key the settings file does not know; notes about refused values go to `notes`.
bool applySettingsValue(Controls& controls, std::string_view key, std::string_view value,
                        std::vector<std::string>* notes = nullptr);

// The message box text when a settings file cannot be written or read.
inline constexpr std::string_view kSettingsFileError = "Could not create file";

// Largest settings file that is read; anything longer is not a settings file.
inline constexpr std::size_t kMaxSettingsFileBytes = 16u << 20;

struct SettingsFileResult {
    bool ok = true;
    std::string error;   // "Could not create file" when not ok
    std::string detail;  // which file and why, for logs and the command line
    std::vector<std::string> notes;
    std::vector<SettingsLineFinding> findings;  // what checkSettingsText found
    int knownKeys = 0;                          // lines with a key the file knows
    std::vector<std::string> keys;              // those keys, in the file's order
    bool empty = false;                         // the file holds nothing but blanks
};

// Writes (creating or truncating) the settings file at `path`.
SettingsFileResult saveSettingsFile(const Controls& controls, const std::string& path);
// Reads the settings file at `path` and checks its lines (the findings), applying nothing.
SettingsFileResult checkSettingsFile(const std::string& path);
// Reads the settings file at `path` and applies it to the controls.
SettingsFileResult loadSettingsFile(Controls& controls, const std::string& path);

// The settings-file key that differs from `key` only in letter case; empty for none.
std::string_view keyInOtherLetters(std::string_view key);

}  // namespace zr
