#pragma once

#include <climits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/controls.h"

namespace zr {

// A list of a settings file (or of a --set value) holds at most this many lines and bytes: far
// more than any movie needs, and little enough that every table made of it stays small. A
// longer list is left as it was, with a note.
inline constexpr std::size_t kMaxListLines = 10000;
inline constexpr std::size_t kMaxListBytes = 256 * 1024;

// What a parameter's value is and how it reaches its control and the settings file.
enum class ParameterKind {
    kSpecList,      // list box of "KEYFRAME<TAB>VALUE" lines, joined with "," in the file
    kWaveList,      // the wave list: written only while "Wave coloring" is checked, and
                    // loading it checks that box
    kLongWaveList,  // list box of "R,G,B<TAB>PERIOD<TAB>PERCENT" lines, joined with ":"
    kFolder,        // an edit holding a folder
    kWholeNumber,   // an edit holding a whole number
    kDecimal,       // an edit holding a decimal number
    kText,          // an edit holding any text
    kCheck,         // a check box: "1" or "0" in the file, a flag without value on the command line
    kChoice,        // a drop-down list: the position of the selected entry
    kColorBits,     // the "Code color bits" list: "32" selects its second entry, anything else the
                    // first
    kTextureFile,   // the texture picture's path, kept with the texture settings and shown in
                    // its edit
    kInsideColor,   // the colour of the points inside the set, R,G,B (the "M-Color" button)
};

// The form of a list's lines, each of which is checked on its own.
enum class ListLineFormat {
    kNone,
    kSpeed,       // KEYFRAME<TAB>SPEED or KEYFRAME<TAB>TIME
    kRotation,    // KEYFRAME<TAB>DEGREES or KEYFRAME<TAB>R
    kCycle,       // KEYFRAME<TAB>SPEED
    kDivision,    // KEYFRAME<TAB>DIVISION
    kColorCount,  // KEYFRAME<TAB>CHANGE
    kWave,        // TYPE<TAB>PERIOD[<TAB>PHASE]
    kLongWave,    // R,G,B<TAB>PERIOD<TAB>PERCENT
};

// What the shell completion offers for a flag's value.
enum class FlagValueKind {
    kOther,
    kFile,         // a file name
    kCodec,        // a codec name or compressor code ("zoomreel-cli codecs --names")
    kPreset,       // an encoder preset of one of the codecs
    kPixelFormat,  // a pixel format one of the codecs takes
};

// One setting of the dialog: its control, its line in the settings file and its command-line
// flag, if it has them. The command line, the usage texts, the manual pages, the completion,
// the settings file and the dialog's first state are all made from the table of these.
struct Parameter {
    std::string_view key;  // settings-file key; empty for what the file does not store
    int control = 0;
    ParameterKind kind = ParameterKind::kText;
    // When a loaded file applies it, counting from 1: a new movie width sets "Frames per
    // movie", so MSZ comes after FPM. 0 for what the file does not store.
    int loadStep = 0;
    // What a fresh dialog holds, written as the settings file writes it.
    std::string_view defaultValue;
    std::span<const std::string_view> choices;  // the entries of a drop-down list
    // Bounds of a whole number given on the command line.
    long long min = 0;
    long long max = INT_MAX;
    std::string_view flag;       // command-line flag, "--start-frame"; empty for none
    std::string_view valueName;  // what the flag's value is called in the usage text
    std::string_view label;      // the control's caption in the dialog
    std::string_view help;
    FlagValueKind flagValue = FlagValueKind::kOther;
    // Written to the settings file only when it holds a value, so that files saved without it
    // stay as they were.
    bool omittedWhenEmpty = false;
    // One of the settings that choose the movie file, its codec and its soundtrack: on the
    // command line they are options of the commands that write or read movie files.
    bool movieFile = false;
    // Written into the settings file only when its value differs from the default, so that files
    // saved without the setting are the files the program always wrote.
    bool omittedAtDefault = false;
    // The range of a decimal number; both 0: any number.
    double low = 0.0;
    double high = 0.0;
    // What a number counts ("frames a second"); empty for a bare number.
    std::string_view unit;
    // An edit the dialog may leave empty: an empty value reads as 0 and is taken.
    bool emptyAllowed = false;
    ListLineFormat lineFormat = ListLineFormat::kNone;
    // The most characters a text holds; 0: no limit beyond the list's.
    std::size_t maxLength = 0;
};

// Every parameter: first those the settings file stores, in the order in which it writes them,
// then the others.
std::span<const Parameter> parameters();

// The parameter with this settings-file key (letter case counts), flag or control; none when
// there is no such parameter.
const Parameter* parameterWithKey(std::string_view key);
const Parameter* parameterWithFlag(std::string_view flag);
const Parameter* parameterOfControl(int control);

// The stored parameters in the order in which a loaded file applies them.
std::vector<const Parameter*> parametersInLoadOrder();

// The value of a parameter as the settings file writes it.
std::string parameterValue(const Controls& controls, const Parameter& parameter);

// Applies a value as loading a settings file holding it would (or, for the parameters the file
// does not store, as the command line's flag does). A texture path longer than the texture file
// field is refused with a note; an inside colour that is no "R,G,B" leaves the colour alone.
void applyParameterValue(Controls& controls, const Parameter& parameter, std::string_view value,
                         std::vector<std::string>* notes);

// The control of `parameter` at its value in a fresh dialog.
void applyDefaultValue(Controls& controls, const Parameter& parameter);

// A colour written "R,G,B", each 0 to 255, as 0x00BBGGRR; none for any other text.
std::optional<std::uint32_t> parseColorTriple(std::string_view text);

// Strict readers of command-line values: the whole text must be the number.
std::optional<long long> parseInteger(std::string_view text, long long min, long long max);
std::optional<double> parseDecimal(std::string_view text);

}  // namespace zr
