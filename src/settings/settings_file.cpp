#include "settings/settings_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "settings/movie_settings.h"

namespace zr {

namespace {

enum class ValueKind {
    kList,       // list box lines joined with ","
    kLongWaves,  // list box lines joined with ":"
    kText,       // an edit's text
    kCheck,      // a check state read as an integer
    kSelection,  // a list position read as an integer
    kColorBits,  // "32" selects the second entry, anything else the first
    kTextureFile,
};

struct KeyBinding {
    std::string_view key;
    int control;
    ValueKind kind;
};

// The order in which a loaded file is applied. A new movie width sets "Frames per movie", so
// MSZ comes after FPM.
constexpr std::array<KeyBinding, 29> kLoadOrder{{
    {"SPEED", kIdSpeedList, ValueKind::kList},
    {"ROTATE", kIdRotateList, ValueKind::kList},
    {"CYCLE", kIdCycleList, ValueKind::kList},
    {"DIVIDE", kIdDivideList, ValueKind::kList},
    {"NOC", kIdColorCountList, ValueKind::kList},
    {"WAVES", kIdWaveList, ValueKind::kList},
    {"LONGWAVES", kIdLongWaveList, ValueKind::kLongWaves},
    {"DIR", kIdDirectory, ValueKind::kText},
    {"FPS", kIdFps, ValueKind::kText},
    {"FPM", kIdFramesPerMovie, ValueKind::kText},
    {"Slope", kIdSlopes, ValueKind::kCheck},
    {"SlopePower", kIdSlopePower, ValueKind::kText},
    {"SlopeRatio", kIdSlopeRatio, ValueKind::kText},
    {"ZOL", kIdZoomOutLevel, ValueKind::kSelection},
    {"MergeFrames", kIdMergeCount, ValueKind::kSelection},
    {"TimeType", kIdTimeType, ValueKind::kSelection},
    {"COL", kIdColorMethod, ValueKind::kSelection},
    {"SZT", kIdShowZoomText, ValueKind::kCheck},
    {"FONT", kIdFontFace, ValueKind::kText},
    {"SCT", kIdSmoothColoring, ValueKind::kCheck},
    {"SMD", kIdStopOnLastFrame, ValueKind::kCheck},
    {"MSZ", kIdMovieWidth, ValueKind::kText},
    {"BIT", kIdColorBits, ValueKind::kColorBits},
    {"TEXTURE", kIdTexture, ValueKind::kCheck},
    {"TEXTUREDEPTH", kIdTextureDepth, ValueKind::kText},
    {"TEXTURESTRENGTH", kIdTextureStrength, ValueKind::kText},
    {"TEXTUREMERGE", kIdTextureMerge, ValueKind::kText},
    {"TEXTUREFILE", kIdTextureFile, ValueKind::kTextureFile},
    {"TEXTURE_MULTI", kIdTextureMulti, ValueKind::kCheck},
}};

const KeyBinding* bindingFor(std::string_view key) {
    for (const KeyBinding& binding : kLoadOrder) {
        if (binding.key == key)
            return &binding;
    }
    return nullptr;
}

std::string joinLines(const std::vector<std::string>& lines, char separator) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += separator;
        joined += lines[i];
    }
    return joined;
}

// Calls `use` with each piece of `text` between the separators; a separator at the very end
// leaves no empty piece after it, and an empty text has no piece at all.
template <typename Use>
void forEachPiece(std::string_view text, char separator, Use use) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            use(text.substr(start));
            return;
        }
        use(text.substr(start, end - start));
        start = end + 1;
    }
}

// Replaces the lines of a list with the pieces of `value`, unless there are too many of them.
void replaceLines(Controls& controls, const KeyBinding& binding, std::string_view value,
                  char separator, std::vector<std::string>* notes) {
    const std::size_t separators =
        static_cast<std::size_t>(std::count(value.begin(), value.end(), separator));
    if (value.size() > kMaxListBytes || separators >= kMaxListLines) {
        if (notes != nullptr) {
            notes->push_back("The " + std::string(binding.key) + " list has more than " +
                             std::to_string(kMaxListLines) + " lines or " +
                             std::to_string(kMaxListBytes >> 10) +
                             " KiB of text; the list was left unchanged.");
        }
        return;
    }
    controls.clearLines(binding.control);
    forEachPiece(value, separator,
                 [&](std::string_view line) { controls.addLine(binding.control, line); });
}

void applyBinding(Controls& controls, const KeyBinding& binding, std::string_view value,
                  std::vector<std::string>* notes) {
    switch (binding.kind) {
        case ValueKind::kList:
            replaceLines(controls, binding, value, ',', notes);
            if (binding.control == kIdWaveList)
                controls.setChecked(kIdWaveColoring, true);
            break;
        case ValueKind::kLongWaves:
            replaceLines(controls, binding, value, ':', notes);
            break;
        case ValueKind::kText:
            controls.setText(binding.control, value);
            break;
        case ValueKind::kCheck:
            controls.setChecked(binding.control, readInt(value) != 0);
            break;
        case ValueKind::kSelection:
            controls.setSelection(binding.control, readInt(value));
            break;
        case ValueKind::kColorBits:
            controls.setSelection(binding.control, readInt(value) == 32 ? 1 : 0);
            break;
        case ValueKind::kTextureFile:
            if (value.size() > kMaxPathLength) {
                if (notes != nullptr) {
                    notes->push_back("The texture file path is longer than " +
                                     std::to_string(kMaxPathLength) +
                                     " characters; the texture file was left unchanged.");
                }
                break;
            }
            controls.setText(binding.control, value);
            movieSettings().textureFile = std::string(value);
            break;
    }
}

// One line of the file: key, ": ", value, CR LF.
void appendLine(std::string& text, std::string_view key, std::string_view value) {
    text += key;
    text += ": ";
    text += value;
    text += "\r\n";
}

std::string flagText(const Controls& controls, int id) {
    return controls.checked(id) ? "1" : "0";
}

std::string describeErrno(const std::string& path, std::string_view action) {
    return std::string(action) + " \"" + path + "\": " + std::strerror(errno);
}

}  // namespace

std::string settingsText(const Controls& controls) {
    std::string text;
    const auto list = [&](std::string_view key, int id) {
        appendLine(text, key, joinLines(controls.lines(id), ','));
    };
    const auto edit = [&](std::string_view key, int id) {
        appendLine(text, key, controls.text(id));
    };
    const auto number = [&](std::string_view key, int value) {
        appendLine(text, key, std::to_string(value));
    };
    list("SPEED", kIdSpeedList);
    list("ROTATE", kIdRotateList);
    list("CYCLE", kIdCycleList);
    list("DIVIDE", kIdDivideList);
    list("NOC", kIdColorCountList);
    if (controls.checked(kIdWaveColoring))
        list("WAVES", kIdWaveList);
    appendLine(text, "LONGWAVES", joinLines(controls.lines(kIdLongWaveList), ':'));
    edit("DIR", kIdDirectory);
    edit("FPS", kIdFps);
    appendLine(text, "Slope", flagText(controls, kIdSlopes));
    edit("SlopePower", kIdSlopePower);
    edit("SlopeRatio", kIdSlopeRatio);
    edit("FPM", kIdFramesPerMovie);
    number("ZOL", controls.selection(kIdZoomOutLevel));
    number("TimeType", controls.selection(kIdTimeType));
    number("MergeFrames", controls.selection(kIdMergeCount));
    appendLine(text, "SZT", flagText(controls, kIdShowZoomText));
    appendLine(text, "SCT", flagText(controls, kIdSmoothColoring));
    appendLine(text, "SMD", flagText(controls, kIdStopOnLastFrame));
    edit("MSZ", kIdMovieWidth);
    appendLine(text, "BIT", controls.selection(kIdColorBits) == 1 ? "32" : "24");
    number("COL", controls.selection(kIdColorMethod));
    edit("FONT", kIdFontFace);
    appendLine(text, "TEXTURE", flagText(controls, kIdTexture));
    edit("TEXTUREDEPTH", kIdTextureDepth);
    edit("TEXTURESTRENGTH", kIdTextureStrength);
    edit("TEXTUREMERGE", kIdTextureMerge);
    appendLine(text, "TEXTUREFILE", movieSettings().textureFile);
    appendLine(text, "TEXTURE_MULTI", flagText(controls, kIdTextureMulti));
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
        if (bindingFor(key) != nullptr)
            firstValues.try_emplace(key, value);
    });

    std::vector<std::string> notes;
    for (const KeyBinding& binding : kLoadOrder) {
        const auto found = firstValues.find(binding.key);
        if (found != firstValues.end())
            applyBinding(controls, binding, found->second, &notes);
    }
    return notes;
}

bool isSettingsKey(std::string_view key) {
    return bindingFor(key) != nullptr;
}

bool applySettingsValue(Controls& controls, std::string_view key, std::string_view value,
                        std::vector<std::string>* notes) {
    const KeyBinding* binding = bindingFor(key);
    if (binding == nullptr)
        return false;
    applyBinding(controls, *binding, value, notes);
    return true;
}

SettingsFileResult saveSettingsFile(const Controls& controls, const std::string& path) {
    SettingsFileResult result;
    const std::string text = settingsText(controls);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        result.ok = false;
        result.error = kSettingsFileError;
        result.detail = describeErrno(path, "cannot create");
        return result;
    }
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) {
        result.ok = false;
        result.error = kSettingsFileError;
        result.detail = describeErrno(path, "cannot write");
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
