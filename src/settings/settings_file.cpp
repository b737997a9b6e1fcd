#include "settings/settings_file.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "settings/parameters.h"
#include "settings/setting_types.h"
#include "support/safe_file.h"
#include "support/text_pieces.h"

namespace zr {

namespace {

// One line of the file: key, ": ", value, CR LF.
void appendLine(std::string& text, std::string_view key, std::string_view value) {
    text += key;
    text += ": ";
    text += value;
    text += "\r\n";
}

std::string describeErrno(const std::string& path, std::string_view action) {
    return std::string(action) + " \"" + path + "\": " + std::strerror(errno);
}

}  // namespace

std::string settingsText(const Controls& controls) {
    std::string text;
    for (const Parameter& parameter : parameters()) {
        if (parameter.key.empty())
            continue;
        // The waves are kept only while wave colouring is on.
        if (parameter.kind == ParameterKind::kWaveList && !controls.checked(kIdWaveColoring))
            continue;
        const std::string value = parameterValue(controls, parameter);
        if ((parameter.omittedWhenEmpty && value.empty()) ||
            (parameter.omittedAtDefault && value == parameter.defaultValue))
            continue;
        appendLine(text, parameter.key, value);
    }
    return text;
}

std::vector<std::string> applySettingsText(Controls& controls, std::string_view text) {
    // The file is a C text: it ends at its first zero byte.
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos)
        text = text.substr(0, end);

    // Lines end in CR LF; a file whose lines end in LF alone (edited elsewhere) reads the same.
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i];
    }

    // Each line is a key, ": " and the value, which ends at the next ": " if there is one. Lines
    // of unknown keys are passed over.
    constexpr std::string_view kKeySeparator = ": ";
    std::unordered_map<std::string_view, std::string_view> firstValues;
    forEachPiece(lines, '\n', [&](std::string_view line) {
        const std::size_t keyEnd = line.find(kKeySeparator);
        std::string_view value;
        if (keyEnd != std::string_view::npos) {
            value = line.substr(keyEnd + kKeySeparator.size());
            value = value.substr(0, value.find(kKeySeparator));
        }
        const std::string_view key = line.substr(0, keyEnd);
        if (parameterWithKey(key) != nullptr)
            firstValues.try_emplace(key, value);
    });

    std::vector<std::string> notes;
    for (const Parameter* parameter : parametersInLoadOrder()) {
        const auto found = firstValues.find(parameter->key);
        if (found != firstValues.end()) {
            applyParameterValue(controls, *parameter, found->second, &notes);
        }
    }
    return notes;
}

bool isSettingsKey(std::string_view key) {
    return parameterWithKey(key) != nullptr;
}

bool applySettingsValue(Controls& controls, std::string_view key, std::string_view value,
                        std::vector<std::string>* notes) {
    const Parameter* parameter = parameterWithKey(key);
    if (parameter == nullptr)
        return false;
    applyParameterValue(controls, *parameter, value, notes);
    return true;
}

SettingsFileResult saveSettingsFile(const Controls& controls, const std::string& path) {
    SettingsFileResult result;
    // Through a new file renamed into place: a failed write leaves the old file whole, and a
    // link at the name is refused rather than written through.
    const FileWriteResult written = writeFileSafely(path, settingsText(controls));
    if (!written.ok()) {
        result.ok = false;
        result.error = kSettingsFileError;
        result.detail = written.message;
    }
    return result;
}

SettingsFileResult loadSettingsFile(Controls& controls, const std::string& path) {
    SettingsFileResult result;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.ok = false;
        result.error = kSettingsFileError;
        result.detail = describeErrno(path, "cannot open");
        return result;
    }
    std::string text;
    std::array<char, 65536> chunk{};
    while (file.read(chunk.data(), chunk.size()) || file.gcount() > 0) {
        text.append(chunk.data(), static_cast<std::size_t>(file.gcount()));
        if (text.size() > kMaxSettingsFileBytes) {
            result.ok = false;
            result.error = kSettingsFileError;
            result.detail = "\"" + path + "\" is larger than " +
                            std::to_string(kMaxSettingsFileBytes >> 20) +
                            " MiB and cannot be a settings file";
            return result;
        }
    }
    if (file.bad()) {
        result.ok = false;
        result.error = kSettingsFileError;
        result.detail = describeErrno(path, "cannot read");
        return result;
    }
    result.notes = applySettingsText(controls, text);
    return result;
}

}  // namespace zr
