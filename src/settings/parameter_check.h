#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/parameters.h"

namespace zr {

inline constexpr int kTooManyLines = -1;

// What is wrong with a value given to a parameter.
struct ValueProblem {
    // The list line at fault, counting from 1; 0: the value as a whole; kTooManyLines: a list
    // longer than kMaxListLines lines or kMaxListBytes bytes.
    int line = 0;
    std::string lineText;  // that line
};

// Checks a value of `parameter` as the settings file, --set or the parameter's flag gives it,
// against the parameter's type and range. A list is checked line by line, and the first line at
// fault is named. None when the value suits.
std::optional<ValueProblem> checkParameterValue(const Parameter& parameter, std::string_view value);

// What the parameter takes, in a sentence that names it: "FPS is a whole number of frames a
// second, 1 to 1000"; for a list, what each of its lines is.
std::string allowedValues(const Parameter& parameter);

// The range alone, for the manual: "1 to 1000", "0 or 1", "24 or 32"; empty for free texts.
std::string parameterRange(const Parameter& parameter);

// The message for a value the parameter does not take, after where it came from: "FPS is a
// whole number ...", or for a list "line 2 \"0<TAB>abc\": a SPEED line is ...".
std::string valueProblemText(const Parameter& parameter, const ValueProblem& problem);

// A value as a message shows it: TAB as <TAB>, other control bytes as \xNN, long texts cut.
std::string visibleText(std::string_view text);

// The name of a parameter in messages: its settings-file key, else its flag.
std::string_view parameterName(const Parameter& parameter);

// Whether `text` is a time stamp of the speed list: mm:ss or hh:mm:ss, two digits a field (99:99
// passes), as the dialog takes it.
bool isTimeStamp(std::string_view text);

}  // namespace zr
