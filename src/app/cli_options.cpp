#include "app/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "app/folder_choice.h"
#include "app/usage_text.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "settings/settings_file.h"

namespace zr {

namespace {

bool isHelpOption(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

std::string optionName(std::string_view arg) {
    return std::string(arg.substr(0, arg.find('=')));
}

const CliOption* findOption(std::span<const CliOption> options, std::string_view name) {
    const auto found = std::find_if(options.begin(), options.end(),
                                    [&](const CliOption& option) { return option.name == name; });
    return found == options.end() ? nullptr : &*found;
}

// Whether the value of an option of the settings group suits it; else why not.
bool readSettingsOption(const std::string& name, const std::string& value, CommandLine& commandLine,
                        std::string& error) {
    if (name == "--settings") {
        if (commandLine.settingsFile) {
            error = "option --settings given twice";
            return false;
        }
        commandLine.settingsFile = value;
    } else if (name == "--set") {
        const std::size_t split = value.find('=');
        const std::string key = value.substr(0, split);
        if (split == std::string::npos || !isSettingsKey(key)) {
            error =
                "option --set wants KEY=VALUE with a settings-file key (FPS, SPEED, MSZ, ...), "
                "not \"" +
                value + "\"";
            return false;
        }
        commandLine.sets.emplace_back(key, value.substr(split + 1));
    } else if (name == "--zoom-size") {
        if (!parseDecimal(value)) {
            error = "option --zoom-size wants a decimal number, not \"" + value + "\"";
            return false;
        }
        commandLine.zoomSize = value;
    } else {
        const Parameter& parameter = *parameterWithFlag(name);
        const std::string problem = checkFlagValue(parameter, value);
        if (!problem.empty()) {
            error = "option " + name + " wants " + problem + ", not \"" + value + "\"";
            return false;
        }
        commandLine.flags.emplace_back(name, value);
    }
    return true;
}

}  // namespace

bool parseArguments(std::span<const CliOption> options, const std::vector<std::string>& args,
                    ParsedArguments& parsed, std::string& error) {
    parsed = ParsedArguments();
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    CLI::Option* help = app.add_flag("-h,--help");
    CLI::Option* operands = app.add_option("operands", parsed.operands)->expected(0, -1);
    std::vector<std::pair<CLI::Option*, const CliOption*>> known;
    for (const CliOption& option : options) {
        const std::string name(option.name);
        CLI::Option* added =
            option.valueName.empty() ? app.add_flag(name) : app.add_option(name)->expected(1);
        added->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        known.emplace_back(added, &option);
    }

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& mismatch) {
        // An option that wants a value came last.
        const CliOption* last = args.empty() ? nullptr : findOption(options, args.back());
        error = last != nullptr ? "option " + args.back() + " needs a value (" + args.back() + " " +
                                      std::string(last->valueName) + ")"
                                : mismatch.what();
        return false;
    } catch (const CLI::ParseError& other) {
        error = other.what();
        return false;
    }
    parsed.help = help->count() > 0;

    for (const std::string& extra : app.remaining()) {
        if (extra == "--")
            continue;
        error = extra.starts_with("-") ? "unknown option " + optionName(extra)
                                       : "unexpected argument \"" + extra + "\"";
        return false;
    }

    // Each option's values in the order given, option by option.
    std::map<CLI::Option*, std::size_t> used;
    for (CLI::Option* option : app.parse_order()) {
        if (option == help || option == operands)
            continue;
        const auto entry = std::find_if(known.begin(), known.end(),
                                        [&](const auto& pair) { return pair.first == option; });
        if (entry == known.end())
            continue;
        const std::size_t index = used[option]++;
        const std::vector<std::string>& results = option->results();
        const std::string value = index < results.size() ? results[index] : std::string();
        const CliOption& described = *entry->second;
        if (described.valueName.empty()) {
            // A flag reads "true" unless a value was given to it.
            if (value != "true") {
                error = "option " + std::string(described.name) + " takes no value";
                return false;
            }
            parsed.options.emplace_back(described.name, "");
        } else {
            parsed.options.emplace_back(described.name, value);
        }
    }
    return true;
}

std::string CommandLine::extra(std::string_view name) const {
    const auto found = extras.find(name);
    return found == extras.end() ? std::string() : found->second;
}

bool parseCommandLine(const CliCommand& command, const std::vector<std::string>& args,
                      CommandLine& commandLine, std::string& error) {
    commandLine = CommandLine();
    const std::vector<CliOption> options = commandOptions(command);
    ParsedArguments parsed;
    const bool read = parseArguments(options, args, parsed, error);
    // Asking for help wins over any mistake.
    if (parsed.help || std::any_of(args.begin(), args.end(), isHelpOption)) {
        commandLine.help = true;
        return true;
    }
    if (!read)
        return false;

    const std::span<const CliOption> settings = settingsOptions();
    const bool movieOptionsAreSettings =
        command.movieFileOptions == MovieFileOptionUse::kAsSettings;
    for (const auto& [name, value] : parsed.options) {
        if ((command.takesSettings && findOption(settings, name) != nullptr) ||
            (movieOptionsAreSettings && findOption(movieFileOptions(), name) != nullptr)) {
            if (!readSettingsOption(name, value, commandLine, error))
                return false;
        } else {
            commandLine.extras[name] = value;
        }
    }
    for (const CliOption& option : command.options) {
        if (option.required && !commandLine.hasExtra(option.name)) {
            error = "option " + std::string(option.name) + " " + std::string(option.valueName) +
                    " is required";
            return false;
        }
    }

    const std::vector<std::string>& operands = parsed.operands;
    if (command.operand.empty()) {
        if (!operands.empty()) {
            error = "unexpected argument \"" + operands.front() +
                    "\": " + std::string(command.name) + " takes only options";
            return false;
        }
    } else if (operands.empty()) {
        error = "no " + std::string(command.operandText) + " given";
        return false;
    } else if (operands.size() > 1) {
        error = "more than one " + std::string(command.operand) + " given (\"" + operands[0] +
                "\" and \"" + operands[1] + "\")";
        return false;
    } else {
        commandLine.folder = operands.front();
    }
    return true;
}

int usageError(const CliCommand& command, std::string_view message) {
    std::cerr << "zoomreel-cli " << command.name << ": " << message << "\n(\"zoomreel-cli "
              << command.name << " --help\" lists the options)\n";
    return 2;
}

std::optional<int> readCommandLine(const CliCommand& command, const std::vector<std::string>& args,
                                   CommandLine& commandLine) {
    std::string error;
    if (!parseCommandLine(command, args, commandLine, error))
        return usageError(command, error);
    if (commandLine.help) {
        std::cout << commandHelp(cliProgram(), command);
        return 0;
    }
    return std::nullopt;
}

std::string missingFolderMessage(const std::string& folder) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(folder, error);
    if (!std::filesystem::exists(status))
        return "the folder \"" + folder + "\" does not exist";
    if (!std::filesystem::is_directory(status))
        return "\"" + folder + "\" is not a folder";
    return {};
}

int applyCommandLine(const CommandLine& commandLine, MemoryControls& controls,
                     std::ostream& errors) {
    if (const std::string missing = missingFolderMessage(commandLine.folder); !missing.empty()) {
        errors << "zoomreel-cli: " << missing << "\n";
        return 1;
    }
    const FolderChoiceResult folder = chooseKeyFrameFolder(controls, commandLine.folder);
    if (!folder.ok) {
        errors << "zoomreel-cli: " << folder.message << ": " << folder.detail << "\n";
        return 1;
    }
    if (commandLine.settingsFile) {
        const SettingsFileResult loaded = loadSettingsFile(controls, *commandLine.settingsFile);
        if (!loaded.ok) {
            errors << "zoomreel-cli: cannot load the settings file: " << loaded.detail << "\n";
            return 1;
        }
        for (const std::string& note : loaded.notes)
            errors << "zoomreel-cli: " << note << "\n";
    }
    for (const auto& [key, value] : commandLine.sets) {
        std::vector<std::string> notes;
        applySettingsValue(controls, key, value, &notes);
        for (const std::string& note : notes)
            errors << "zoomreel-cli: " << note << "\n";
    }
    controls.setText(kIdDirectory, commandLine.folder);

    for (const auto& [name, value] : commandLine.flags) {
        const Parameter& parameter = *parameterWithFlag(name);
        if (parameter.flagValue == FlagValueKind::kFile && !value.empty()) {
            // A file named on the command line is found from the current folder.
            std::error_code error;
            const std::filesystem::path absolute = std::filesystem::absolute(value, error);
            applyParameterValue(controls, parameter, error ? value : absolute.string(), nullptr);
            continue;
        }
        // A check box's flag comes without a value: it checks the box.
        applyParameterValue(controls, parameter,
                            parameter.kind == ParameterKind::kCheck ? "1" : value, nullptr);
    }
    if (commandLine.zoomSize)
        controls.setZoomSizeAnswer(*commandLine.zoomSize);
    return 0;
}

}  // namespace zr
