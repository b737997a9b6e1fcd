#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/folder_choice.h"
#include "app/test_keyframe.h"
#include "app/thread_option.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_folder.h"
#include "movie/frame_loop.h"
#include "movie/frame_seeker.h"
#include "movie/movie_length.h"
#include "movie/render_host.h"
#include "movie/render_session.h"
#include "output/jpeg_dump.h"
#include "settings/memory_controls.h"
#include "settings/start_conversion.h"
#include "support/safe_file.h"

namespace zr {

namespace {

enum class PictureKind { kPng, kJpeg };

constexpr int kPreviewJpegQuality = 95;

// The kind of picture `output` names by its extension, or none.
std::optional<PictureKind> pictureKindOf(const std::string& output) {
    std::string extension = std::filesystem::path(output).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") {
        return PictureKind::kPng;
    }
    if (extension == ".jpg" || extension == ".jpeg") {
        return PictureKind::kJpeg;
    }
    return std::nullopt;
}

// Empty when a picture may be written at `output`, else why not: something there that is not
// a file, or a file that is not a PNG or JPEG picture (a key frame, a movie).
std::string pictureOutputProblem(const std::string& output) {
    const FileWriteResult found = checkWritablePath(output);
    if (!found.ok()) {
        return found.message;
    }
    std::ifstream file(output, std::ios::binary);
    if (!file) {
        return {};  // nothing there yet
    }
    unsigned char head[4] = {};
    file.read(reinterpret_cast<char*>(head), sizeof head);
    const bool png = head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G';
    const bool jpeg = head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
    if (png || jpeg) {
        return {};
    }
    return "\"" + output +
           "\" already exists and is no PNG or JPEG picture; preview does not replace it: "
           "choose another --output or move the file away";
}

// Writes the picture in the format its name asks for, through a new file renamed into place.
bool savePicture(const FrameImage& image, const std::string& output, std::string& error) {
    const std::string temporary = createTemporaryBeside(output);
    if (temporary.empty()) {
        error = std::strerror(errno);
        return false;
    }
    bool saved = false;
    if (pictureKindOf(output) == PictureKind::kJpeg) {
        saved = saveFrameAsJpeg(temporary, image, kPreviewJpegQuality, &error) == 1;
    } else {
        saved = savePng(image, temporary, &error);
    }
    if (saved && (!syncFile(temporary) || std::rename(temporary.c_str(), output.c_str()) != 0)) {
        error = std::strerror(errno);
        saved = false;
    }
    if (!saved) {
        std::remove(temporary.c_str());
    }
    return saved;
}

// Tells the user about key frame files that cannot be opened; shows nothing else.
class PreviewHost : public NullRenderHost {
  public:
    void keyFrameUnreadable(const std::string& path) override {
        std::cerr << "zoomreel-cli preview: cannot open the key frame file \"" << path << "\"\n";
    }
};

// How many key frames the folder holds, counted as plan counts them, for --frame K that is
// not among them.
std::string keyFrameCountText(const std::string& folder, const std::string& frameText) {
    const std::size_t files = listMatchingFiles(folder, "*.zmb").size();
    if (files > 0) {
        return "\"" + folder + "\" holds " + std::to_string(files) +
               " key frame files and --frame is " + frameText;
    }
    const std::size_t pictures = listKeyFramePictures(folder).size();
    return "\"" + folder + "\" holds " + std::to_string(pictures) +
           " pictures and no key frame file; --frame colours key frame files only, and "
           "--movie-frame shows the pictures as the movie does";
}

// Movie frame `position` of the movie the controls describe, written as a PNG picture.
int writeMovieFrame(const CommandLine& commandLine, const MoviePosition& position,
                    const std::string& output, ProgramThreads& threads) {
    MemoryControls controls;
    if (const int status = applyCommandLine(commandLine, controls, std::cerr); status != 0) {
        return status;
    }
    const StartConversionResult start = convertControlsForStart(controls);
    if (!start.ok) {
        std::cerr << "zoomreel-cli preview: " << start.message << "\n";
        return 1;
    }
    if (start.spec.output.skipRender) {
        std::cerr
            << "zoomreel-cli preview: \"Skip render\" makes no picture: leave out --skip-render "
               "for a movie frame\n";
        return 1;
    }
    MovieRun run;
    run.spec = start.spec;
    run.keyFrames = listRunKeyFrames(run.spec);
    if (run.keyFrames.empty()) {
        std::cerr << "zoomreel-cli preview: Invalid Folder: \"" << commandLine.folder
                  << "\" holds no key frame file (*.zmb) and no picture (*.jpg, *.png, *.bmp)\n";
        return 1;
    }
    PreviewHost host;
    RenderSession session(threads.share(), threads.encoderThreads());
    FrameSeeker seeker(std::move(run), session, &host);
    if (!seeker.start()) {
        std::cerr << "zoomreel-cli preview: Later timestamps can not be earlier\n";
        return 1;
    }
    const int fps = std::max(start.spec.output.fps, 1);
    const long long frame = frameAtPosition(position, fps);
    const long long frames = seeker.frameCount();
    if (frame >= frames) {
        std::cerr << "zoomreel-cli preview: movie frame " << frame;
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
        std::cerr << "zoomreel-cli preview: movie frame " << frame << " could not be made\n";
        return 1;
    }
    std::string error;
    if (!savePicture(*made->movieFile, output, error)) {
        std::cerr << "zoomreel-cli preview: cannot write \"" << output << "\": " << error << "\n";
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
    if (!pictureKindOf(output))
        return usageError(command,
                          "option --output names a PNG (.png) or JPEG (.jpg, .jpeg) "
                          "picture, not \"" +
                              output + "\"");
    if (const std::string problem = pictureOutputProblem(output); !problem.empty()) {
        std::cerr << "zoomreel-cli preview: " << problem << '\n';
        return 1;
    }
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
        std::cerr << "zoomreel-cli preview: " << start.message << "\n";
        return 1;
    }

    PreviewHost host;
    TestSlopeValues slope;
    RenderSession session(threads.share(), threads.encoderThreads());
    takeStartColors(start.spec, session.colors);
    const TestKeyFrameResult tested = testKeyFrame(controls, start.spec, slope, session, &host);
    if (!tested.image) {
        std::cerr << "zoomreel-cli preview: " << tested.message;
        if (tested.failure == TestFailure::kNoKeyFrame)
            std::cerr << ": " << keyFrameCountText(commandLine.folder, frameText);
        std::cerr << "\n";
        return 1;
    }
    if (!savePicture(*tested.image, output, error)) {
        std::cerr << "zoomreel-cli preview: cannot write \"" << output << "\": " << error << "\n";
        return 1;
    }
    std::cout << "key frame " << tested.keyFrame << " (" << tested.path << ") written to " << output
              << " at " << tested.image->width() << " x " << tested.image->height() << "\n";
    return 0;
}

}  // namespace zr
