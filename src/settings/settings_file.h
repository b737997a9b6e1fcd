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
// leaves its control alone. Returns the notes about values that were refused (a texture path too
// long for its field).
std::vector<std::string> applySettingsText(Controls& controls, std::string_view text);

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
};

// Writes (creating or truncating) the settings file at `path`.
SettingsFileResult saveSettingsFile(const Controls& controls, const std::string& path);
// Reads the settings file at `path` and applies it to the controls.
SettingsFileResult loadSettingsFile(Controls& controls, const std::string& path);

}  // namespace zr
