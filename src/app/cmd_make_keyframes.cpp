#include <iostream>

#include "app/commands.h"

namespace zr {

int runMakeKeyframesCommand(const std::vector<std::string>&) {
    std::cerr << "zoomreel-cli: this command is not available in this build yet\n";
    return 1;
}

}  // namespace zr
