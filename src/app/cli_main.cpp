#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/program_info.h"
#include "app/program_versions.h"
#include "app/usage_text.h"

namespace {

namespace fs = std::filesystem;

// Where the desktop program is: beside this program, as the package installs both, or on the
// search path.
std::string desktopProgramNote() {
    const std::string name(zr::desktopProgram().name);
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    std::vector<fs::path> places;
    if (!error)
        places.push_back(self.parent_path());
    if (const char* path = std::getenv("PATH")) {
        std::string_view rest = path;
        while (!rest.empty()) {
            const std::size_t colon = std::min(rest.find(':'), rest.size());
            if (colon > 0)
                places.emplace_back(rest.substr(0, colon));
            rest.remove_prefix(std::min(colon + 1, rest.size()));
        }
    }
    for (const fs::path& place : places) {
        const fs::path program = place / name;
        if (::access(program.c_str(), X_OK) == 0 && fs::is_regular_file(program, error))
            return "The desktop program is " + name + ": " + program.string() + "\n";
    }
    return "The desktop program is " + name +
           ", which is not installed here (the zoomreel package installs both programs).\n";
}

}  // namespace

int main(int argc, char** argv) {
    const zr::ProgramInfo& program = zr::cliProgram();
    zr::quietVideoLibraryMessages();
    if (argc < 2) {
        std::cerr << zr::programHelp(program);
        return 2;
    }
    const std::string_view first = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (const zr::CliCommand* command = zr::findCliCommand(first))
        return command->run(args);
    if (first == "--help" || first == "-h" || first == "help") {
        const zr::CliCommand* command = args.empty() ? nullptr : zr::findCliCommand(args.front());
        if (command != nullptr) {
            std::cout << zr::commandHelp(program, *command);
        } else {
            std::cout << zr::programHelp(program) << desktopProgramNote();
        }
        return 0;
    }
    if (first == "--version") {
        std::cout << zr::versionText(program.name);
        return 0;
    }
    // Hidden: the build makes the manual page and the completion script with these.
    if (first == "--man") {
        std::cout << zr::manualPage(program, zr::programVersion());
        return 0;
    }
    if (first == "--bash-completion") {
        std::cout << zr::bashCompletion(program);
        return 0;
    }
    std::cerr << "zoomreel-cli: unknown command \"" << first
              << "\"\n(\"zoomreel-cli --help\" lists the commands)\n";
    return 2;
}
