#include <iostream>
#include <limits>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/folder_choice.h"
#include "app/start_run.h"
#include "app/test_keyframe.h"
#include "keyframes/image_file.h"
#include "movie/render_session.h"
#include "settings/memory_controls.h"
#include "settings/render_host.h"

namespace zr {

namespace {

constexpr std::string_view kPreviewUsage =
    "usage: zoomreel-cli preview FOLDER --frame K --output FILE.png [options]\n"
    "Colours key frame K (0 is the widest) with the settings as Start would use them and\n"
    "writes it at its own size as a PNG picture.\n"
    "options:\n";

int usageError(std::string_view message) {
    std::cerr << "zoomreel-cli preview: " << message << "\n"
              << kPreviewUsage << commonOptionsUsage();
    return 2;
}

// Tells the user about key frame files that cannot be opened; shows nothing else.
class PreviewHost : public NullRenderHost {
  public:
    void showError(std::string_view text) override {
        std::cerr << "zoomreel-cli: " << text << "\n";
    }
    void keyFrameUnreadable(std::string_view path) override {
        std::cerr << "zoomreel-cli: cannot open the key frame file \"" << path << "\"\n";
    }
};

}  // namespace

int runPreviewCommand(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kPreviewUsage << commonOptionsUsage();
        return 0;
    }
    CommandLine commandLine;
    std::string error;
    if (!parseCommandLine(args, {{"--frame", "K"}, {"--output", "FILE.png"}}, commandLine, error)) {
        return usageError(error);
    }
    if (!commandLine.hasExtra("--frame"))
        return usageError("option --frame K is required");
    if (!commandLine.hasExtra("--output"))
        return usageError("option --output FILE.png is required");
    const std::string frameText = commandLine.extra("--frame");
    if (!parseInteger(frameText, 0, std::numeric_limits<int>::max())) {
        return usageError("option --frame wants a key frame number 0 or larger, not \"" +
                          frameText + "\"");
    }
    const std::string output = commandLine.extra("--output");
    if (output.empty())
        return usageError("option --output wants a file name");

    MemoryControls controls;
    if (const int status = applyCommandLine(commandLine, controls, std::cerr); status != 0) {
        return status;
    }
    controls.setText(kIdStartFrame, frameText);

    const StartConversionResult start = convertForStart(controls);
    if (!start.ok) {
        std::cerr << "zoomreel-cli: " << start.message << "\n";
        return 1;
    }

    PreviewHost host;
    TestSlopeValues slope;
    RenderSession session;
    const TestKeyFrameResult tested = testKeyFrame(controls, slope, session, &host);
    if (!tested.image) {
        std::cerr << "zoomreel-cli: " << tested.message;
        if (tested.message == kNoKeyFrameToTest) {
            std::cerr << ": \"" << commandLine.folder << "\" holds "
                      << listMatchingFiles(commandLine.folder, "*.zmb").size()
                      << " key frame files and --frame is " << frameText;
        }
        std::cerr << "\n";
        return 1;
    }
    if (!savePng(*tested.image, output, &error)) {
        std::cerr << "zoomreel-cli: cannot write \"" << output << "\": " << error << "\n";
        return 1;
    }
    std::cout << "key frame " << tested.keyFrame << " (" << tested.path << ") written to " << output
              << " at " << tested.image->width() << " x " << tested.image->height() << "\n";
    return 0;
}

}  // namespace zr
