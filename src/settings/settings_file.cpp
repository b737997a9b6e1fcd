#include "settings/settings_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "settings/parameter_check.h"
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

// The text as loading splits it: up to its first zero byte, lines ended by CR LF or LF.
std::string linesOf(std::string_view text) {
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos)
        text = text.substr(0, end);
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        lines += text[i];
    }
    return lines;
}

constexpr std::string_view kKeySeparator = ": ";

// The key and the value of a line: the value ends at the next ": " if there is one.
std::pair<std::string_view, std::string_view> keyAndValue(std::string_view line) {
    const std::size_t keyEnd = line.find(kKeySeparator);
    std::string_view value;
    if (keyEnd != std::string_view::npos) {
        value = line.substr(keyEnd + kKeySeparator.size());
        value = value.substr(0, value.find(kKeySeparator));
    }
    return {line.substr(0, keyEnd), value};
}

SettingsLineFinding findingOfLine(int number, std::string_view line,
                                  std::unordered_map<std::string_view, int>& seen) {
    const auto [key, value] = keyAndValue(line);
    const std::string shownKey = visibleText(key);
    SettingsLineFinding finding{number, SettingsLineIssue::kUnknownKey, std::string(key), {}};
    if (const Parameter* parameter = parameterWithKey(key)) {
        if (const auto [first, added] = seen.try_emplace(key, number); !added) {
            finding.issue = SettingsLineIssue::kRepeatedKey;
            finding.message = shownKey + " was given on line " + std::to_string(first->second) +
                              " already; this line is passed over";
        } else if (const std::optional<ValueProblem> problem =
                       checkParameterValue(*parameter, value)) {
            finding.issue = SettingsLineIssue::kBadValue;
            finding.message = shownKey + ": " + visibleText(value) + ": " +
                              valueProblemText(*parameter, *problem);
        } else {
            finding.line = 0;  // nothing to say
        }
    } else if (line.find(kKeySeparator) == std::string_view::npos) {
        finding.issue = SettingsLineIssue::kNoKey;
        finding.message =
            "\"" + visibleText(line) + "\" is no \"KEY: value\" line; it is passed over";
    } else if (const std::string_view known = keyInOtherLetters(key); !known.empty()) {
        finding.issue = SettingsLineIssue::kKeyLetterCase;
        finding.message = "unknown key " + shownKey +
                          " (keys match exactly: " + std::string(known) +
                          "?); the line is passed over";
    } else {
        finding.message = "unknown key " + shownKey + "; the line is passed over";
    }
    return finding;
}

std::string describeErrno(const std::string& path, std::string_view action) {
    return std::string(action) + " \"" + path + "\": " + std::strerror(errno);
}

}  // namespace

std::string_view keyInOtherLetters(std::string_view key) {
    for (const Parameter& parameter : parameters()) {
        if (parameter.key.empty() || parameter.key.size() != key.size())
            continue;
        if (std::equal(key.begin(), key.end(), parameter.key.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return parameter.key;
    }
    return {};
}

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

std::vector<SettingsLineFinding> checkSettingsText(std::string_view text, int* knownKeys,
                                                   std::vector<std::string>* keys) {
    std::vector<SettingsLineFinding> findings;
    std::unordered_map<std::string_view, int> seen;
    const std::string lines = linesOf(text);
    int number = 0;
    int known = 0;
    forEachPiece(lines, '\n', [&](std::string_view line) {
        ++number;
        const std::string_view key = keyAndValue(line).first;
        if (parameterWithKey(key) != nullptr) {
            ++known;
            if (keys != nullptr)
                keys->emplace_back(key);
        }
        SettingsLineFinding finding = findingOfLine(number, line, seen);
        if (finding.line != 0)
            findings.push_back(std::move(finding));
    });
    if (const std::size_t zero = text.find('\0'); zero != std::string_view::npos) {
        const std::string_view before = text.substr(0, zero);
        const int line = static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 1;
        findings.push_back({line,
                            SettingsLineIssue::kZeroByte,
                            {},
                            "a zero byte: a settings file is text, and nothing after it is read"});
    }
    if (knownKeys != nullptr)
        *knownKeys = known;
    return findings;
}

std::vector<std::string> applySettingsText(Controls& controls, std::string_view text) {
    // The file is a C text: it ends at its first zero byte. Lines end in CR LF; a file whose
    // lines end in LF alone (edited elsewhere) reads the same.
    const std::string lines = linesOf(text);

    // Each line is a key, ": " and the value, which ends at the next ": " if there is one. Lines
    // of unknown keys are passed over.
    std::unordered_map<std::string_view, std::string_view> firstValues;
    forEachPiece(lines, '\n', [&](std::string_view line) {
        const auto [key, value] = keyAndValue(line);
        if (parameterWithKey(key) != nullptr)
            firstValues.try_emplace(key, value);
    });

    std::vector<std::string> notes;
    for (const Parameter* parameter : parametersInLoadOrder()) {
        const auto found = firstValues.find(parameter->key);
        if (found != firstValues.end()) {
            applyParameterValue(controls, *parameter, found->second, &notes);
        } else if (parameter->omittedAtDefault || parameter->omittedWhenEmpty) {
            // The file leaves these out at their default: their absence is that default.
            applyDefaultValue(controls, *parameter);
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

namespace {

// Reads the whole settings file at `path` into `text`; not ok when it cannot be read or is too
// large to be a settings file.
SettingsFileResult readSettingsFileText(const std::string& path, std::string& text) {
    SettingsFileResult result;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.ok = false;
        result.error = kSettingsFileError;
        result.detail = describeErrno(path, "cannot open");
        return result;
    }
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
    result.findings = checkSettingsText(text, &result.knownKeys, &result.keys);
    return result;
}

}  // namespace

SettingsFileResult checkSettingsFile(const std::string& path) {
    std::string text;
    SettingsFileResult result = readSettingsFileText(path, text);
    result.empty = text.find_first_not_of(" \t\r\n") == std::string::npos;
    return result;
}

SettingsFileResult loadSettingsFile(Controls& controls, const std::string& path) {
    std::string text;
    SettingsFileResult result = readSettingsFileText(path, text);
    if (result.ok)
        result.notes = applySettingsText(controls, text);
    return result;
}

}  // namespace zr
