#include "settings/parameter_check.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <vector>

#include "support/text_pieces.h"

namespace zr {

namespace {

using Kind = ParameterKind;

// A key frame number of a list line: digits only, as the dialog's key frame edits take them.
constexpr long long kLargestKeyFrame = 9999999;
// A key frame shows for at most this many movie frames.
constexpr long long kLargestSpeed = 16777216;
// The palette has this many entries; cycle speeds and colour count changes stay within it.
constexpr double kPaletteEntries = 1024.0;
constexpr double kLargestDivision = 1000000.0;
constexpr std::size_t kShownCharacters = 60;

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

std::vector<std::string_view> cellsOf(std::string_view line) {
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            return cells;
        start = tab + 1;
    }
}

bool isKeyFrame(std::string_view text) {
    return isDigits(text) && text.size() <= 7 && parseInteger(text, 0, kLargestKeyFrame);
}

bool decimalWithin(std::string_view text, double low, double high) {
    const std::optional<double> value = parseDecimal(text);
    return value && *value >= low && *value <= high;
}

bool speedLineFits(const std::vector<std::string_view>& cells) {
    return cells.size() == 2 && isKeyFrame(cells[0]) &&
           (parseInteger(cells[1], 1, kLargestSpeed) || isTimeStamp(cells[1]));
}

bool rotationLineFits(const std::vector<std::string_view>& cells) {
    if (cells.size() != 2 || !isKeyFrame(cells[0]))
        return false;
    const std::string_view value = cells[1];
    return value == "R" || value == "r" || decimalWithin(value, -360.0, 360.0);
}

bool waveLineFits(const std::vector<std::string_view>& cells) {
    if (cells.size() < 2 || cells.size() > 3)
        return false;
    const std::string_view type = cells[0];
    if (type != "H" && type != "S" && type != "B" && type != "W")
        return false;
    const std::optional<long long> period = parseInteger(cells[1], -INT_MAX, INT_MAX);
    return period && *period != 0 &&
           (cells.size() == 2 || parseInteger(cells[2], -INT_MAX, INT_MAX));
}

bool longWaveLineFits(const std::vector<std::string_view>& cells) {
    return cells.size() == 3 && parseColorTriple(cells[0]) && parseInteger(cells[1], 1, INT_MAX) &&
           parseInteger(cells[2], 0, 100);
}

bool lineFits(ListLineFormat format, std::string_view line) {
    const std::vector<std::string_view> cells = cellsOf(line);
    switch (format) {
        case ListLineFormat::kSpeed:
            return speedLineFits(cells);
        case ListLineFormat::kRotation:
            return rotationLineFits(cells);
        case ListLineFormat::kCycle:
            return cells.size() == 2 && isKeyFrame(cells[0]) &&
                   decimalWithin(cells[1], -kPaletteEntries, kPaletteEntries);
        case ListLineFormat::kDivision:
            return cells.size() == 2 && isKeyFrame(cells[0]) &&
                   decimalWithin(cells[1], 0.0, kLargestDivision);
        case ListLineFormat::kColorCount:
            return cells.size() == 2 && isKeyFrame(cells[0]) &&
                   parseInteger(cells[1], -1024, 1024).has_value();
        case ListLineFormat::kWave:
            return waveLineFits(cells);
        case ListLineFormat::kLongWave:
            return longWaveLineFits(cells);
        case ListLineFormat::kNone:
            break;
    }
    return true;
}

char listSeparator(const Parameter& parameter) {
    return parameter.kind == Kind::kLongWaveList ? ':' : ',';
}

std::optional<ValueProblem> checkList(const Parameter& parameter, std::string_view value) {
    if (value.size() > kMaxListBytes ||
        static_cast<std::size_t>(
            std::count(value.begin(), value.end(), listSeparator(parameter))) >= kMaxListLines) {
        return ValueProblem{kTooManyLines, {}};
    }
    int number = 0;
    std::optional<ValueProblem> problem;
    // Start joins the lines with line feeds before it reads them, so a line feed inside a value
    // (a --set value typed with $'...\n...') parts lines as well.
    forEachPiece(value, listSeparator(parameter), [&](std::string_view piece) {
        forEachPiece(piece, '\n', [&](std::string_view line) {
            ++number;
            if (!problem && !lineFits(parameter.lineFormat, line))
                problem = ValueProblem{number, std::string(line)};
        });
    });
    return problem;
}

bool numberFits(const Parameter& parameter, std::string_view value) {
    if (value.empty())
        return parameter.emptyAllowed;
    if (parameter.maxLength != 0 && value.size() > parameter.maxLength)
        return false;  // Start would read only its beginning
    if (parameter.kind == Kind::kWholeNumber)
        return parseInteger(value, parameter.min, parameter.max).has_value();
    if (parameter.low == 0.0 && parameter.high == 0.0)
        return parseDecimal(value).has_value();
    return decimalWithin(value, parameter.low, parameter.high);
}

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string lineFormatText(ListLineFormat format) {
    switch (format) {
        case ListLineFormat::kSpeed:
            return "KEYFRAME<TAB>SPEED, KEYFRAME a key frame number (0 or more) and SPEED the "
                   "movie frames of that key frame, 1 to 16777216, or (TimeType 1 or 2) a time "
                   "stamp mm:ss or hh:mm:ss";
        case ListLineFormat::kRotation:
            return "KEYFRAME<TAB>DEGREES, DEGREES the rotation per movie frame, -360 to 360, or R "
                   "to turn back upright";
        case ListLineFormat::kCycle:
            return "KEYFRAME<TAB>SPEED, SPEED the palette entries the colours move on each movie "
                   "frame, -1024 to 1024";
        case ListLineFormat::kDivision:
            return "KEYFRAME<TAB>DIVISION, DIVISION the iterations per palette entry, 0 to "
                   "1000000";
        case ListLineFormat::kColorCount:
            return "KEYFRAME<TAB>CHANGE, CHANGE the key colours added per movie frame, a whole "
                   "number -1024 to 1024";
        case ListLineFormat::kWave:
            return "TYPE<TAB>PERIOD or TYPE<TAB>PERIOD<TAB>PHASE, TYPE one of H, S, B, W and "
                   "PERIOD (not 0) and PHASE whole numbers";
        case ListLineFormat::kLongWave:
            return "R,G,B<TAB>PERIOD<TAB>PERCENT, R, G and B 0 to 255, PERIOD a whole number 1 "
                   "or more and PERCENT 0 to 100";
        case ListLineFormat::kNone:
            break;
    }
    return {};
}

std::string choiceText(const Parameter& parameter) {
    std::string text;
    bool numbered = true;  // each entry is its own position
    for (std::size_t i = 0; i < parameter.choices.size(); ++i) {
        text += i == 0 ? "" : ", ";
        text += std::to_string(i) + " \"" + std::string(parameter.choices[i]) + "\"";
        numbered = numbered && parameter.choices[i] == std::to_string(i);
    }
    if (numbered)
        return "0 to " + std::to_string(parameter.choices.size() - 1);
    return text;
}

}  // namespace

bool isTimeStamp(std::string_view text) {
    const auto digitsAt = [&](std::size_t at) {
        return std::isdigit(static_cast<unsigned char>(text[at])) != 0 &&
               std::isdigit(static_cast<unsigned char>(text[at + 1])) != 0;
    };
    if (text.size() == 5)
        return digitsAt(0) && text[2] == ':' && digitsAt(3);
    if (text.size() == 8)
        return digitsAt(0) && text[2] == ':' && digitsAt(3) && text[5] == ':' && digitsAt(6);
    return false;
}

std::string_view parameterName(const Parameter& parameter) {
    return parameter.key.empty() ? parameter.flag : parameter.key;
}

std::optional<ValueProblem> checkParameterValue(const Parameter& parameter,
                                                std::string_view value) {
    bool fits = true;
    switch (parameter.kind) {
        case Kind::kSpecList:
        case Kind::kWaveList:
        case Kind::kLongWaveList:
            return checkList(parameter, value);
        case Kind::kWholeNumber:
        case Kind::kDecimal:
            fits = numberFits(parameter, value);
            break;
        case Kind::kCheck:
            fits = value == "0" || value == "1";
            break;
        case Kind::kChoice:
            fits = parseInteger(value, 0, static_cast<long long>(parameter.choices.size()) - 1)
                       .has_value();
            break;
        case Kind::kColorBits:
            fits = value == "24" || value == "32";
            break;
        case Kind::kInsideColor:
            fits = parseColorTriple(value).has_value();
            break;
        case Kind::kFolder:
        case Kind::kText:
        case Kind::kTextureFile:
            fits = parameter.maxLength == 0 || value.size() <= parameter.maxLength;
            break;
    }
    if (fits && value.find('\0') != std::string_view::npos)
        fits = false;
    return fits ? std::nullopt : std::optional<ValueProblem>(ValueProblem{});
}

std::string parameterRange(const Parameter& parameter) {
    switch (parameter.kind) {
        case Kind::kWholeNumber:
            if (parameter.max == INT_MAX)
                return std::to_string(parameter.min) + " or more";
            return std::to_string(parameter.min) + " to " + std::to_string(parameter.max);
        case Kind::kDecimal:
            if (parameter.low == 0.0 && parameter.high == 0.0)
                return "any number";
            return numberText(parameter.low) + " to " + numberText(parameter.high);
        case Kind::kCheck:
            return "1 (on) or 0 (off)";
        case Kind::kChoice:
            return "0 to " + std::to_string(parameter.choices.size() - 1);
        case Kind::kColorBits:
            return "24 or 32";
        case Kind::kInsideColor:
            return "R,G,B each 0 to 255";
        case Kind::kFolder:
        case Kind::kText:
        case Kind::kTextureFile:
            if (parameter.maxLength != 0)
                return "at most " + std::to_string(parameter.maxLength) + " characters";
            return {};
        case Kind::kSpecList:
        case Kind::kWaveList:
        case Kind::kLongWaveList:
            return "lines " + lineFormatText(parameter.lineFormat);
    }
    return {};
}

std::string allowedValues(const Parameter& parameter) {
    const std::string name(parameterName(parameter));
    const std::string unit = parameter.unit.empty() ? "" : " of " + std::string(parameter.unit);
    const std::string empty = parameter.emptyAllowed ? ", or empty" : "";
    switch (parameter.kind) {
        case Kind::kWholeNumber:
            return name + " is a whole number" + unit + ", " + parameterRange(parameter) + empty;
        case Kind::kDecimal:
            return name + " is a decimal number" + unit + ", " + parameterRange(parameter) + empty;
        case Kind::kCheck:
            return name + " is 1 (on) or 0 (off)";
        case Kind::kChoice:
            return name + " is the position of a list entry, " + choiceText(parameter);
        case Kind::kColorBits:
            return name + " is 24 or 32";
        case Kind::kInsideColor:
            return name + " is three numbers 0 to 255 as R,G,B";
        case Kind::kFolder:
        case Kind::kText:
        case Kind::kTextureFile:
            if (parameter.maxLength == 0)
                return name + " is a text without zero bytes";
            return name + " is a text of " + parameterRange(parameter) + " without zero bytes";
        case Kind::kSpecList:
        case Kind::kWaveList:
        case Kind::kLongWaveList:
            return "a " + name + " line is " + lineFormatText(parameter.lineFormat);
    }
    return {};
}

std::string valueProblemText(const Parameter& parameter, const ValueProblem& problem) {
    if (problem.line == kTooManyLines) {
        return "more than " + std::to_string(kMaxListLines) + " lines or " +
               std::to_string(kMaxListBytes >> 10) + " KiB of text: " + allowedValues(parameter);
    }
    if (problem.line == 0)
        return allowedValues(parameter);
    return "line " + std::to_string(problem.line) + " \"" + visibleText(problem.lineText) +
           "\": " + allowedValues(parameter);
}

std::string visibleText(std::string_view text) {
    std::string shown;
    for (const char c : text.substr(0, kShownCharacters)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            shown += "<TAB>";
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    if (text.size() > kShownCharacters)
        shown += "...";
    return shown;
}

}  // namespace zr
