#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/commands.h"

namespace {

constexpr std::string_view kUsage =
    "usage:\n"
    "  zoomreel-cli render FOLDER [options] [--codec FOURCC] [--quality N] [--keyframe-every N]\n"
    "  zoomreel-cli preview FOLDER --frame K --output FILE.png [options]\n"
    "  zoomreel-cli plan FOLDER [options]\n"
    "  zoomreel-cli make-keyframes OUTDIR [--count N] [--size WxH] [--center RE,IM]\n"
    "                              [--iterations N] [--zoom-factor Z]\n"
    "  zoomreel-cli join FOLDER [--output FILE] [--audio FILE] [--audio-offset S]\n"
    "  zoomreel-cli codecs\n"
    "\n"
    "options of render, preview and plan:\n"
    "  --settings FILE.zrs    load a settings file as the dialog's \"Load settings\" does\n"
    "  --set KEY=VALUE        a settings-file key and value (repeatable, after --settings)\n"
    "  --start-frame K  --start-cycle X  --start-rotation X  --start-iteration N\n"
    "  --movie-height H  --inside-color R,G,B\n"
    "  --frame-by-frame  --elliptic  --fixed-cycling  --left-scrolling  --aspect43\n"
    "  --div-slopes  --test-only  --skip-render  --dump-images  --wave-coloring\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string_view command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "render") return zr::runRenderCommand(args);
    if (command == "preview") return zr::runPreviewCommand(args);
    if (command == "plan") return zr::runPlanCommand(args);
    if (command == "make-keyframes") return zr::runMakeKeyframesCommand(args);
    if (command == "codecs") return zr::runCodecsCommand(args);
    if (command == "join") return zr::runJoinCommand(args);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    std::cerr << "zoomreel-cli: unknown command \"" << command << "\"\n" << kUsage;
    return 2;
}
