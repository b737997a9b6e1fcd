#include "app/usage_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "output/movie_format.h"
#include "settings/parameter_check.h"
#include "settings/parameters.h"

namespace zr {

namespace {

constexpr std::size_t kWidth = 92;        // of a help text line
constexpr std::size_t kHelpColumn = 25;   // where an option's help begins
constexpr std::size_t kManualWidth = 72;  // of a line the manual shows as it is
constexpr std::string_view kHelpHelp = "shows this help";
constexpr std::string_view kVersionHelp =
    "shows the program's version and those of the libraries it runs with";

std::string str(std::string_view text) {
    return std::string(text);
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> result;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at)
            result.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return result;
}

// `tokens` on lines of at most `width` characters: the first line begins with `first`, the
// others with `indent` spaces.
std::string wrapTokens(const std::vector<std::string>& tokens, std::string first,
                       std::size_t indent, std::size_t width = kWidth) {
    std::string text = std::move(first);
    std::size_t lineStart = 0;
    bool lineEmpty = text.find_first_not_of(' ') == std::string::npos;
    for (const std::string& token : tokens) {
        if (!lineEmpty && text.size() - lineStart + 1 + token.size() > width) {
            text += '\n';
            lineStart = text.size();
            text += std::string(indent, ' ');
            lineEmpty = true;
        }
        if (!lineEmpty)
            text += ' ';
        text += token;
        lineEmpty = false;
    }
    return text + '\n';
}

std::string wrap(std::string_view paragraph, std::string first, std::size_t indent) {
    return wrapTokens(words(paragraph), std::move(first), indent);
}

// Paragraphs separated by empty lines, each wrapped.
std::string paragraphs(std::string_view text) {
    std::string result;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find("\n\n", at), text.size());
        if (!result.empty())
            result += '\n';
        result += wrap(text.substr(at, end - at), "", 0);
        at = end + 2;
    }
    return result;
}

std::string optionTerm(const CliOption& option) {
    return option.valueName.empty() ? str(option.name)
                                    : str(option.name) + " " + str(option.valueName);
}

std::string optionLine(std::string_view term, std::string_view help) {
    std::string first = "  " + str(term);
    if (first.size() + 1 >= kHelpColumn) {
        first += '\n';
        return first + wrap(help, std::string(kHelpColumn, ' '), kHelpColumn);
    }
    first.resize(kHelpColumn - 1, ' ');  // the help comes after one more space
    return wrap(help, first, kHelpColumn);
}

std::string optionLines(std::span<const CliOption> options) {
    std::string text;
    for (const CliOption& option : options) {
        if (!option.hidden)
            text += optionLine(optionTerm(option), optionHelp(option));
    }
    return text;
}

// The arguments of a command in its synopsis: the operand, the required options, "[options]"
// for the settings options, then the command's other options.
std::vector<std::string> synopsisTokens(const CliCommand& command) {
    std::vector<std::string> tokens;
    if (!command.operand.empty())
        tokens.push_back(str(command.operand));
    for (const CliOption& option : command.options) {
        if (option.required)
            tokens.push_back(optionTerm(option));
    }
    if (command.takesSettings)
        tokens.emplace_back("[options]");
    for (const CliOption& option : command.options) {
        if (!option.required && !option.hidden)
            tokens.push_back("[" + optionTerm(option) + "]");
    }
    if (command.movieFileOptions != MovieFileOptionUse::kNone) {
        for (const CliOption& option : movieFileOptions())
            tokens.push_back("[" + optionTerm(option) + "]");
    }
    return tokens;
}

std::string joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : str(separator)) + item;
    return text;
}

// ---- roff

// Text for roff: backslashes and hyphens escaped, a line never beginning with a control
// character.
std::string roff(std::string_view text) {
    std::string escaped;
    bool lineStart = true;
    for (const char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            escaped += "\\&";
        if (c == '\\') {
            escaped += "\\e";
        } else if (c == '-') {
            escaped += "\\-";
        } else {
            escaped += c;
        }
        lineStart = c == '\n';
    }
    return escaped;
}

std::string roffParagraphs(std::string_view text) {
    std::string result;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find("\n\n", at), text.size());
        result += ".PP\n" + roff(text.substr(at, end - at)) + "\n";
        at = end + 2;
    }
    return result;
}

std::string roffOption(std::string_view name, std::string_view valueName, std::string_view help) {
    std::string text = ".TP\n\\fB" + roff(name) + "\\fR";
    if (!valueName.empty())
        text += " \\fI" + roff(valueName) + "\\fR";
    return text + "\n" + roff(help) + "\n";
}

std::string roffOptions(std::span<const CliOption> options) {
    std::string text;
    for (const CliOption& option : options) {
        if (!option.hidden)
            text += roffOption(option.name, option.valueName, optionHelp(option));
    }
    return text;
}

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
}

// A value as a person types it: a TAB shown as <TAB>.
std::string shownValue(std::string_view value) {
    std::string shown;
    for (const char c : value)
        shown += c == '\t' ? std::string("<TAB>") : std::string(1, c);
    return shown;
}

// What the value of a stored parameter is, for the manual: its type, unit and range.
std::string valueDescription(const Parameter& parameter) {
    const std::string unit = parameter.unit.empty() ? "" : " of " + str(parameter.unit);
    const std::string range = parameterRange(parameter);
    switch (parameter.kind) {
        case ParameterKind::kSpecList:
        case ParameterKind::kWaveList:
            return "lines joined with \",\", each " + range.substr(range.find(' ') + 1);
        case ParameterKind::kLongWaveList:
            return "lines joined with \":\", each " + range.substr(range.find(' ') + 1);
        case ParameterKind::kFolder:
            return "a folder, " + range;
        case ParameterKind::kWholeNumber:
            return "a whole number" + unit + ", " + range;
        case ParameterKind::kDecimal:
            return "a decimal number" + unit + ", " + range;
        case ParameterKind::kText:
            return range.empty() ? "a text" : "a text, " + range;
        case ParameterKind::kCheck:
            return "1 (on) or 0 (off)";
        case ParameterKind::kChoice: {
            std::string entries;
            bool numbered = true;  // each entry is its own position
            for (std::size_t i = 0; i < parameter.choices.size(); ++i) {
                entries +=
                    (i == 0 ? "" : ", ") + std::to_string(i) + " = " + str(parameter.choices[i]);
                numbered = numbered && parameter.choices[i] == std::to_string(i);
            }
            if (numbered)
                return "0 to " + std::to_string(parameter.choices.size() - 1);
            return "the position of the entry: " + entries;
        }
        case ParameterKind::kColorBits:
            return "24 or 32";
        case ParameterKind::kTextureFile:
            return "a JPEG file, " + range;
        case ParameterKind::kInsideColor:
            return "R,G,B";
    }
    return {};
}

// What a fresh dialog holds, for the manual.
std::string defaultDescription(const Parameter& parameter) {
    if (!parameter.defaultValue.empty())
        return "default " + shownValue(parameter.defaultValue);
    switch (parameter.kind) {
        case ParameterKind::kSpecList:
        case ParameterKind::kWaveList:
        case ParameterKind::kLongWaveList:
            return "default: no line";
        case ParameterKind::kWholeNumber:
        case ParameterKind::kDecimal:
            if (parameter.key == "MSZ" || parameter.key == "FPM")
                return "default: what the key frame folder proposes";
            return parameter.emptyAllowed ? "default empty, which reads as 0" : "default empty";
        default:
            return "default empty";
    }
}

std::string settingsFileSection() {
    std::string text =
        ".SH \"SETTINGS FILE\"\n"
        ".PP\n"
        "A settings file (.zrs) holds one line \\fIKEY\\fR: \\fIvalue\\fR for each setting, "
        "ended by CR LF (a line ended by LF alone reads the same), in the order below. A list's "
        "lines keep their TAB characters. Loading applies the keys it finds and leaves the other "
        "settings alone, except those written only when set or not at their default, which "
        "return to their default; keys differing in letter case are not the same key. The "
        "command line refuses a value out of its range (naming the file and line) and warns of "
        "lines it passes over; --set takes the same values.\n";
    for (const Parameter& parameter : parameters()) {
        if (parameter.key.empty())
            continue;
        std::string value =
            "Value: " + valueDescription(parameter) + "; " + defaultDescription(parameter);
        if (parameter.omittedWhenEmpty)
            value += "; written only when set";
        else if (parameter.omittedAtDefault)
            value += "; written only when not at its default";
        value += ". In the dialog: \"" + str(parameter.label) + "\".";
        text += ".TP\n\\fB" + roff(parameter.key) + "\\fR\n" + roff(parameter.help) + ".\n.br\n" +
                roff(value) + "\n";
    }
    return text;
}

// What else a command takes, in a sentence that names the sections describing it.
std::string roffTakesAlso(const CliCommand& command) {
    std::vector<std::string> also;
    if (command.movieFileOptions != MovieFileOptionUse::kNone)
        also.emplace_back(
            "the options that choose the movie file (OPTIONS THAT CHOOSE THE MOVIE FILE)");
    if (command.takesSettings)
        also.emplace_back(
            "the options that choose the settings (OPTIONS THAT CHOOSE THE SETTINGS)");
    if (also.empty())
        return {};
    return ".PP\n" + roff(str(command.name) + " also takes " + joined(also, " and ") + ".") + "\n";
}

std::string roffExample(std::string_view what, std::string_view command) {
    return ".PP\n" + roff(what) + "\n.PP\n.RS 4\n.nf\n" + roff(command) + "\n.fi\n.RE\n";
}

std::string examplesSection() {
    return ".SH EXAMPLES\n" +
           roffExample(
               "A first movie: 30 key frames of the Mandelbrot set, then their movie, "
               "film.avi in the same folder.",
               "zoomreel-cli make-keyframes frames\nzoomreel-cli render frames") +
           roffExample(
               "A movie with music, as MP4 at 1280 pixels wide and 25 frames a second; "
               "the soundtrack begins 2 seconds in.",
               "zoomreel-cli render frames --output film.mp4 --set MSZ=1280 \\\n"
               "    --set FPS=25 --audio music.mp3 --audio-offset 2") +
           roffExample(
               "Slowing down in the middle: 25 movie frames per key frame at first, 100 "
               "from key frame 15 on, back to 25 at key frame 25 (the lines of a list are "
               "joined by commas, each line's cells by a TAB). plan shows the frames "
               "without making them.",
               "zoomreel-cli plan frames --set SPEED=$'0\\t25,15\\t100,25\\t25'") +
           roffExample(
               "A cluster render: the settings saved by the dialog, the movie files "
               "shared among 8 Slurm tasks, then joined.",
               "zoomreel-cli submit frames --settings zoom.zrs --slurm --tasks 8 \\\n"
               "    --time 2:00:00") +
           roffExample(
               "The first frame of the movie as a picture, with the settings of a file "
               "the dialog saved:",
               "zoomreel-cli preview frames --settings zoom.zrs --movie-frame 0 \\\n"
               "    --output first.png");
}

// ---- bash

std::string bashFunctionName(std::string_view program) {
    std::string name = "_";
    for (const char c : program)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

// The presets or the pixel formats of every codec this build writes, each once.
std::vector<std::string> codecWords(ValueCompletion completion) {
    std::vector<std::string> words;
    for (const VideoCodec& codec : knownVideoCodecs()) {
        std::vector<std::string> own;
        if (completion == ValueCompletion::kPreset) {
            own.assign(codec.presets.begin(), codec.presets.end());
        } else {
            own = codecPixelFormats(codec);
        }
        for (std::string& word : own) {
            if (std::find(words.begin(), words.end(), word) == words.end())
                words.push_back(std::move(word));
        }
    }
    return words;
}

// The shell command that puts the candidates for `cur` into COMPREPLY.
std::string bashCandidates(ValueCompletion completion) {
    switch (completion) {
        case ValueCompletion::kNone:
            return "COMPREPLY=()";
        // File names may hold spaces: one a line.
        case ValueCompletion::kFolder:
            return "compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -d -- "
                   "\"$cur\")";
        case ValueCompletion::kFile:
            return "compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -f -- "
                   "\"$cur\")";
        case ValueCompletion::kSettingsFile:
            return "compopt -o filenames 2>/dev/null; mapfile -t COMPREPLY < <(compgen -d -- "
                   "\"$cur\"; compgen -f -X '!*.zrs' -- \"$cur\")";
        case ValueCompletion::kCodec:
            return "COMPREPLY=($(compgen -W \"$(\"$1\" codecs --names 2>/dev/null)\" -- "
                   "\"$cur\"))";
        case ValueCompletion::kPreset:
        case ValueCompletion::kPixelFormat:
            return "COMPREPLY=($(compgen -W \"" + joined(codecWords(completion), " ") +
                   "\" -- \"$cur\"))";
        case ValueCompletion::kSettingsKey: {
            std::vector<std::string> keys;
            for (const Parameter& parameter : parameters()) {
                if (!parameter.key.empty())
                    keys.push_back(str(parameter.key) + "=");
            }
            return "compopt -o nospace 2>/dev/null; COMPREPLY=($(compgen -W \"" +
                   joined(keys, " ") + "\" -- \"$cur\"))";
        }
    }
    return "COMPREPLY=()";
}

// A case arm for every way an option's value is completed; `scope` names the options ("render
// --codec", or "--folder" for a program without commands).
struct ValueArm {
    ValueCompletion completion;
    std::vector<std::string> patterns;
};

void addValueArm(std::vector<ValueArm>& arms, ValueCompletion completion, std::string pattern) {
    auto arm = std::find_if(arms.begin(), arms.end(),
                            [&](const ValueArm& a) { return a.completion == completion; });
    if (arm == arms.end()) {
        arms.push_back({completion, {}});
        arm = arms.end() - 1;
    }
    if (std::find(arm->patterns.begin(), arm->patterns.end(), pattern) == arm->patterns.end())
        arm->patterns.push_back(std::move(pattern));
}

std::string valueArms(const std::vector<ValueArm>& arms) {
    std::string text;
    for (const ValueArm& arm : arms) {
        text += "        " + joined(arm.patterns, "|") + ")\n            " +
                bashCandidates(arm.completion) + "\n            return ;;\n";
    }
    return text;
}

std::vector<std::string> visibleNames(std::span<const CliOption> options) {
    std::vector<std::string> names;
    for (const CliOption& option : options) {
        if (!option.hidden)
            names.push_back(str(option.name));
    }
    return names;
}

}  // namespace

std::string programHelp(const ProgramInfo& program) {
    std::string text;
    if (program.commands.empty()) {
        text += "usage: " + str(program.name) + " [options]\n\n";
        text += paragraphs(program.description);
        text += "\noptions:\n" + optionLines(program.options);
        text += optionLine("-h, --help", kHelpHelp);
        text += optionLine("--version", kVersionHelp);
        text += "\n\"man " + str(program.name) + "\" describes the settings file as well.\n";
        return text;
    }
    const std::string usage = "usage: " + str(program.name) + " ";
    text += usage + "COMMAND ARGUMENTS...\n";
    text += std::string(usage.size() - str(program.name).size() - 1, ' ') + str(program.name) +
            " --help | --version\n\n";
    text += paragraphs(program.description.substr(0, program.description.find("\n\n")));
    text += "\ncommands:\n";
    for (const CliCommand& command : program.commands) {
        std::vector<std::string> tokens = synopsisTokens(command);
        text += wrapTokens(tokens, "  " + str(command.name), 3 + command.name.size());
        text += wrap(command.summary, "      ", 6);
    }
    std::vector<std::string> takers;
    for (const CliCommand& command : program.commands) {
        if (command.takesSettings)
            takers.push_back(str(command.name));
    }
    text += "\noptions that choose the settings (" + joined(takers, ", ") + "):\n";
    text += optionLines(settingsOptions());
    text += "\n" + wrap("\"" + str(program.name) +
                            " COMMAND --help\" describes a command and its options; \"man " +
                            str(program.name) +
                            "\" describes them all, with the settings-file keys that --set takes.",
                        "", 0);
    return text;
}

std::string commandHelp(const ProgramInfo& program, const CliCommand& command) {
    const std::string lead = "usage: " + str(program.name) + " " + str(command.name);
    std::string text = wrapTokens(synopsisTokens(command), lead, lead.size() + 1);
    text += "\n" + paragraphs(command.description);
    const std::vector<OptionGroup> groups = optionGroups(command);
    for (const OptionGroup& group : groups)
        text += "\n" + str(group.title) + ":\n" + optionLines(group.options);
    if (groups.empty())
        text += "\noptions:\n";
    text += optionLine("-h, --help", kHelpHelp);
    return text;
}

std::string manualPage(const ProgramInfo& program, std::string_view version) {
    std::string text = ".TH " + roff(upper(program.name)) + " 1 \"\" \"Zoomreel " + roff(version) +
                       "\" \"User Commands\"\n";
    // Left-aligned, no word hyphenated: option names stay whole.
    text += ".ad l\n.nh\n";
    text += ".SH NAME\n" + roff(program.name) + " \\- " + roff(program.summary) + "\n";
    text += ".SH SYNOPSIS\n.nf\n";
    if (program.commands.empty()) {
        text += "\\fB" + roff(program.name) + "\\fR [\\fIoptions\\fR]\n";
    }
    for (const CliCommand& command : program.commands) {
        const std::string lead = str(program.name) + " " + str(command.name);
        text += roff(wrapTokens(synopsisTokens(command), lead, lead.size() + 1, kManualWidth));
    }
    text += "\\fB" + roff(program.name) + "\\fR \\-\\-help | \\-\\-version\n.fi\n";
    text += ".SH DESCRIPTION\n" + roffParagraphs(program.description);

    if (!program.commands.empty()) {
        text += ".SH COMMANDS\n";
        for (const CliCommand& command : program.commands) {
            text += ".SS \"" + roff(command.name) + "\"\n";
            text += roffParagraphs(command.description);
            text += roffOptions(command.options);
            if (command.takesRenderOptions) {
                text += ".PP\nThe options of render that every task takes:\n" +
                        roffOptions(renderTaskOptions());
            }
            text += roffTakesAlso(command);
        }
        text += ".SH \"OPTIONS THAT CHOOSE THE MOVIE FILE\"\n" + roffOptions(movieFileOptions());
        text += ".SH \"OPTIONS THAT CHOOSE THE SETTINGS\"\n" + roffOptions(settingsOptions());
    }
    text += ".SH OPTIONS\n" + roffOptions(program.options);
    text += roffOption("-h, --help", "", kHelpHelp) + roffOption("--version", "", kVersionHelp);
    text += settingsFileSection();
    if (!program.commands.empty()) {
        text += examplesSection();
        text +=
            ".SH \"EXIT STATUS\"\n"
            ".TP\n0\ndone\n"
            ".TP\n1\nfailed; the message on standard error says why\n"
            ".TP\n2\nwrong usage: an unknown option, a missing or bad value\n"
            ".TP\n130\nrender stopped with Ctrl-C; the same command goes on where it stopped\n";
    }
    text += ".SH \"SEE ALSO\"\n";
    text += program.commands.empty() ? ".BR zoomreel\\-cli (1)\n" : ".BR zoomreel (1)\n";
    return text;
}

std::string bashCompletion(const ProgramInfo& program) {
    const std::string function = bashFunctionName(program.name);
    std::string text = "# bash completion for " + str(program.name) +
                       ", made from its option table\n" + function +
                       "() {\n"
                       "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                       "    local option=$prev\n"
                       "    # bash splits \"--option=value\" at the \"=\".\n"
                       "    if [[ $cur == \"=\" ]]; then\n"
                       "        cur=\"\"\n"
                       "    elif [[ $prev == \"=\" ]] && (( COMP_CWORD > 1 )); then\n"
                       "        option=${COMP_WORDS[COMP_CWORD-2]}\n"
                       "    fi\n";
    std::vector<ValueArm> arms;
    if (program.commands.empty()) {
        for (const CliOption& option : program.options) {
            if (!option.valueName.empty())
                addValueArm(arms, option.completion, str(option.name));
        }
        std::vector<std::string> names = visibleNames(program.options);
        names.insert(names.end(), {"--help", "--version"});
        text += "    case $option in\n" + valueArms(arms) + "    esac\n";
        text += "    COMPREPLY=($(compgen -W \"" + joined(names, " ") + "\" -- \"$cur\"))\n";
    } else {
        std::vector<std::string> commandNames;
        std::string optionCases;
        std::vector<ValueArm> operandArms;
        for (const CliCommand& command : program.commands) {
            commandNames.push_back(str(command.name));
            const std::vector<CliOption> options = commandOptions(command);
            for (const CliOption& option : options) {
                if (!option.valueName.empty())
                    addValueArm(arms, option.completion,
                                str(command.name) + "/" + str(option.name));
            }
            std::vector<std::string> names = visibleNames(options);
            names.emplace_back("--help");
            optionCases +=
                "        " + str(command.name) + ") options=\"" + joined(names, " ") + "\" ;;\n";
            if (!command.operand.empty())
                addValueArm(operandArms, command.operandCompletion, str(command.name));
        }
        text +=
            "    if (( COMP_CWORD == 1 )); then\n"
            "        COMPREPLY=($(compgen -W \"" +
            joined(commandNames, " ") +
            " --help --version\" -- \"$cur\"))\n"
            "        return\n"
            "    fi\n"
            "    local command=${COMP_WORDS[1]} options\n"
            "    case $command/$option in\n" +
            valueArms(arms) +
            "    esac\n"
            "    case $command in\n" +
            optionCases +
            "        *) return ;;\n"
            "    esac\n"
            "    if [[ $cur == -* ]]; then\n"
            "        COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
            "        return\n"
            "    fi\n"
            "    case $command in\n" +
            valueArms(operandArms) + "    esac\n";
    }
    text += "}\ncomplete -F " + function + " " + str(program.name) + "\n";
    return text;
}

}  // namespace zr
