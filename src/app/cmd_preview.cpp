#include <iostream>
#include <limits>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/folder_choice.h"
#include "app/test_keyframe.h"
#include "keyframes/image_file.h"
#include "movie/render_session.h"
#include "settings/memory_controls.h"
#include "settings/render_host.h"
#include "settings/start_conversion.h"

namespace zr {

namespace {

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
    const CliCommand& command = *findCliCommand("preview");
    CommandLine commandLine;
    if (const std::optional<int> status = readCommandLine(command, args, commandLine))
        return *status;
    std::string error;
    const std::string frameText = commandLine.extra("--frame");
    if (!parseInteger(frameText, 0, std::numeric_limits<int>::max())) {
        return usageError(command, "option --frame wants a key frame number 0 or larger, not \"" +
                                       frameText + "\"");
    }
    const std::string output = commandLine.extra("--output");
    if (output.empty())
        return usageError(command, "option --output wants a file name");

    MemoryControls controls;
    if (const int status = applyCommandLine(commandLine, controls, std::cerr); status != 0) {
        return status;
    }
    controls.setText(kIdStartFrame, frameText);

    StartConversionResult start = convertControlsForStart(controls);
    if (!start.ok) {
        std::cerr << "zoomreel-cli: " << start.message << "\n";
        return 1;
    }

    PreviewHost host;
    TestSlopeValues slope;
    RenderSession session;
    const TestKeyFrameResult tested = testKeyFrame(controls, start.spec, slope, session, &host);
    if (!tested.image) {
        std::cerr << "zoomreel-cli: " << tested.message;
        if (tested.failure == TestFailure::kNoKeyFrame) {
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
