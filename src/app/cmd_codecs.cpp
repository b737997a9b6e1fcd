#include <iostream>

#include "app/commands.h"
#include "output/compressors.h"

namespace zr {

// Lists the compressors this build can write: the four-character code to give to --codec, then
// what it is.
int runCodecsCommand(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::cerr << "zoomreel-cli: codecs takes no arguments\nusage: zoomreel-cli codecs\n";
        return 2;
    }
    for (const Compressor& compressor : availableCompressors()) {
        std::cout << compressor.fourcc << "  " << compressor.description << '\n';
    }
    return 0;
}

}  // namespace zr
