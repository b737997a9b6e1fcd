#include <algorithm>
#include <iostream>
#include <limits>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/folder_choice.h"
#include "app/test_keyframe.h"
#include "app/thread_option.h"
#include "keyframes/image_file.h"
#include "movie/frame_loop.h"
#include "movie/frame_seeker.h"
#include "movie/movie_length.h"
#include "movie/render_host.h"
#include "movie/render_session.h"
#include "settings/memory_controls.h"
#include "settings/start_conversion.h"

namespace zr {

namespace {

// Tells the user about key frame files that cannot be opened; shows nothing else.
class PreviewHost : public NullRenderHost {
  public:
    void keyFrameUnreadable(const std::string& path) override {
        std::cerr << "zoomreel-cli: cannot open the key frame file \"" << path << "\"\n";
    }
};

// Movie frame `position` of the movie the controls describe, written as a PNG picture.
int writeMovieFrame(const CommandLine& commandLine, const MoviePosition& position,
                    const std::string& output, ProgramThreads& threads) {
    MemoryControls controls;
    if (const int status = applyCommandLine(commandLine, controls, std::cerr); status != 0) {
        return status;
    }
    const StartConversionResult start = convertControlsForStart(controls);
    if (!start.ok) {
        std::cerr << "zoomreel-cli: " << start.message << "\n";
        return 1;
    }
    if (start.spec.output.skipRender) {
        std::cerr << "zoomreel-cli: \"Skip render\" makes no picture: leave out --skip-render "
                     "for a movie frame\n";
        return 1;
    }
    MovieRun run;
    run.spec = start.spec;
    run.keyFrames = listRunKeyFrames(run.spec);
    if (run.keyFrames.empty()) {
        std::cerr << "zoomreel-cli: Invalid Folder: \"" << commandLine.folder
                  << "\" holds no key frame file (*.zmb) and no JPEG picture (*.jpg)\n";
        return 1;
    }
    PreviewHost host;
    RenderSession session(threads.share(), threads.encoderThreads());
    FrameSeeker seeker(std::move(run), session, &host);
    if (!seeker.start()) {
        std::cerr << "zoomreel-cli: Later timestamps can not be earlier\n";
        return 1;
    }
    const int fps = std::max(start.spec.output.fps, 1);
    const long long frame = frameAtPosition(position, fps);
    const long long frames = seeker.frameCount();
    if (frame >= frames) {
        std::cerr << "zoomreel-cli: movie frame " << frame;
        if (position.isTime) {
            std::cerr << " (" << formatMovieTime(frame, fps) << ")";
        }
        std::cerr << " is past the end: the movie has " << frames << " frames ("
                  << formatMovieTime(frames, fps) << " at " << fps << " fps)";
        if (frames > 0) {
            std::cerr << ", the last is " << frames - 1;
        }
        std::cerr << "\n";
        return 1;
    }
    const std::optional<FrameRenderer::Frame> made = seeker.frame(frame);
    if (!made || made->movieFile == nullptr) {
        std::cerr << "zoomreel-cli: movie frame " << frame << " could not be made\n";
        return 1;
    }
    std::string error;
    if (!savePng(*made->movieFile, output, &error)) {
        std::cerr << "zoomreel-cli: cannot write \"" << output << "\": " << error << "\n";
        return 1;
    }
    std::cout << "movie frame " << frame << " (" << formatMovieTime(frame, fps) << ") written to "
              << output << " at " << made->movieFile->width() << " x " << made->movieFile->height()
              << "\n";
    return 0;
}

}  // namespace

int runPreviewCommand(const std::vector<std::string>& args) {
    const CliCommand& command = *findCliCommand("preview");
    CommandLine commandLine;
    if (const std::optional<int> status = readCommandLine(command, args, commandLine))
        return *status;
    std::string error;
    const std::string output = commandLine.extra("--output");
    if (output.empty())
        return usageError(command, "option --output wants a file name");
    ProgramThreads threads(threadBudgetOf(commandLine));
    if (commandLine.hasExtra("--movie-frame")) {
        if (commandLine.hasExtra("--frame")) {
            return usageError(command, "give --frame K or --movie-frame, not both");
        }
        const std::string text = commandLine.extra("--movie-frame");
        const std::optional<MoviePosition> position = readMoviePosition(text);
        if (!position) {
            return usageError(command,
                              "option --movie-frame wants a frame number (0 is the first) or a "
                              "time mm:ss.fff or hh:mm:ss.fff, not \"" +
                                  text + "\"");
        }
        return writeMovieFrame(commandLine, *position, output, threads);
    }
    if (!commandLine.hasExtra("--frame")) {
        return usageError(command, "option --frame K or --movie-frame is required");
    }
    const std::string frameText = commandLine.extra("--frame");
    if (!parseInteger(frameText, 0, std::numeric_limits<int>::max())) {
        return usageError(command, "option --frame wants a key frame number 0 or larger, not \"" +
                                       frameText + "\"");
    }

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
    RenderSession session(threads.share(), threads.encoderThreads());
    takeStartColours(start.spec, session.colours);
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
