#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/cli_options.h"
#include "app/commands.h"
#include "app/thread_option.h"
#include "coloring/texture.h"
#include "movie/render_job.h"
#include "movie/render_session.h"
#include "movie/run_status_text.h"
#include "output/avi_writer.h"
#include "output/compressors.h"
#include "output/movie_format.h"
#include "settings/memory_controls.h"
#include "settings/setting_types.h"
#include "settings/start_conversion.h"

namespace zr {

namespace {

// The highest movie file number --files takes.
constexpr long long kMaxMovieFileNumber = 10000000;
// The status of a stopped render, as a shell gives a program that the signal ended: 130 after
// Ctrl-C, 143 after SIGTERM (what Slurm sends at a time limit or scancel, and what its users read
// in sacct as a task that was told to end).
constexpr int kInterruptedStatus = 128 + SIGINT;
constexpr int kTerminatedStatus = 128 + SIGTERM;

// The session of the render under way, and the signal that stopped it (0: none).
std::atomic<RenderSession*> interruptedSession{nullptr};
std::atomic<int> stopSignal{0};

// Ctrl-C or SIGTERM asks the run to stop after the frame under way, so the current movie file
// is finished and playable; a second Ctrl-C ends the program at once. SIGTERM keeps asking
// politely: a batch system that wants the program gone at once follows with SIGKILL.
void onStopSignal(int signal) {
    if (RenderSession* session = interruptedSession.load()) {
        session->requestStop();
    }
    int none = 0;
    stopSignal.compare_exchange_strong(none, signal);
    static constexpr char kInterrupted[] =
        "\nzoomreel-cli: stopping after this frame (Ctrl-C again to quit at once)\n";
    static constexpr char kTerminated[] =
        "\nzoomreel-cli: told to end (SIGTERM): stopping after this frame\n";
    const bool interrupt = signal == SIGINT;
    [[maybe_unused]] const auto written =
        ::write(STDERR_FILENO, interrupt ? kInterrupted : kTerminated,
                (interrupt ? sizeof kInterrupted : sizeof kTerminated) - 1);
    if (interrupt) {
        std::signal(SIGINT, SIG_DFL);
    }
}

std::string clockText(double seconds) {
    if (!(seconds >= 0.0) || seconds > 359999.0) {
        return "--:--";
    }
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

// The command line's side of a run: shows its progress on standard error, as a bar on a
// terminal and as plain lines otherwise. The status lines the dialog shows (each key frame
// begun, the last one) and each key frame that cannot be opened as it is met come only when
// `verbose`: the unusable key frames are told once, after the run.
class CliRenderHost : public RenderHost {
  public:
    CliRenderHost(bool terminal, bool verbose)
        : terminal_(terminal), verbose_(verbose), start_(Clock::now()), lastShown_(start_) {}

    void runPlanned(long long framesToMake) override { progress(0, framesToMake); }
    void keyFrameStarted(const KeyFrameStarted& event) override {
        // Each key frame is worth a line of its own when there is no bar.
        if (verbose_ && !terminal_) {
            std::cerr << statusText(event) << '\n';
        }
    }
    void frameDone(const FrameDone& event) override {
        progress(event.framesDone, event.framesToMake);
    }
    void speedLineReached(const SpeedLineReached& event) override {
        endBar();
        std::string line = speedLineText(event);
        std::replace(line.begin(), line.end(), '\n', ' ');
        std::cout << line << '\n';
    }
    void movieFileKept(const FileKept& event) override {
        endBar();
        std::cout << keptFileText(event) << '\n';
    }
    void movieFileRemade(const FileRemade& event) override {
        endBar();
        std::cout << remadeFileText(event) << '\n';
    }
    void keyFrameUnreadable(const std::string& path) override {
        if (!verbose_)
            return;
        endBar();
        std::cerr << "zoomreel-cli render: cannot open key frame " << path << '\n';
    }
    void runEnded(const RenderOutcome& outcome) override {
        if (shownDone_ != done_) {
            show(Clock::now());
        }
        endBar();
        if (verbose_ && outcome.done) {
            std::cerr << statusText(outcome) << '\n';
        }
    }

  private:
    using Clock = std::chrono::steady_clock;

    void progress(long long done, long long planned) {
        done_ = done;
        planned_ = planned;
        const auto now = Clock::now();
        const double sinceShown = std::chrono::duration<double>(now - lastShown_).count();
        const bool last = done >= planned;
        if (sinceShown < (terminal_ ? 0.2 : 5.0) && !last) {
            return;
        }
        lastShown_ = now;
        show(now);
        shownDone_ = done;
    }

    void show(Clock::time_point now) {
        if (planned_ <= 0) {
            return;
        }
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double rate = elapsed > 0.0 ? static_cast<double>(done_) / elapsed : 0.0;
        const double left = rate > 0.0 ? static_cast<double>(planned_ - done_) / rate : -1.0;
        const double share = std::clamp(static_cast<double>(done_) / planned_, 0.0, 1.0);
        char numbers[160];
        std::snprintf(numbers, sizeof numbers, "%lld/%lld frames %3d%%  %.1f frames/s  %s left",
                      done_, planned_, static_cast<int>(share * 100.0), rate,
                      clockText(left).c_str());
        if (terminal_) {
            constexpr int kBarWidth = 30;
            const int filled = static_cast<int>(share * kBarWidth);
            std::cerr << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, '.')
                      << "] " << numbers << "\x1b[K" << std::flush;
            barShown_ = true;
        } else {
            std::cerr << numbers << '\n';
        }
    }
    void endBar() {
        if (barShown_) {
            std::cerr << '\n';
            barShown_ = false;
        }
    }

    bool terminal_;
    bool verbose_;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    long long done_ = 0;
    long long planned_ = 0;
    long long shownDone_ = -1;
    bool barShown_ = false;
};

// The AVI compressor's options of the command line, or a usage error.
bool compressorFromOptions(const CommandLine& commandLine, MovieFileSpec& movieFile,
                           std::string& error) {
    if (commandLine.hasExtra("--quality")) {
        const auto quality = parseInteger(commandLine.extra("--quality"), 0, 100);
        if (!quality) {
            error = "--quality: expected a whole number from 0 to 100";
            return false;
        }
        movieFile.aviQuality = static_cast<int>(*quality);
    }
    if (commandLine.hasExtra("--keyframe-every")) {
        const auto every = parseInteger(commandLine.extra("--keyframe-every"), 1, 100000);
        if (!every) {
            error = "--keyframe-every: expected a whole number from 1 to 100000";
            return false;
        }
        movieFile.aviKeyFrameEvery = static_cast<int>(*every);
    }
    return true;
}

// The movie files of --files: "I-J" or "I".
std::optional<MovieFileRange> movieFileRangeOf(const std::string& text) {
    const std::size_t dash = text.find('-');
    const auto first = parseInteger(text.substr(0, dash), 0, kMaxMovieFileNumber);
    const auto last = dash == std::string::npos
                          ? first
                          : parseInteger(text.substr(dash + 1), 0, kMaxMovieFileNumber);
    if (!first || !last || *last < *first) {
        return std::nullopt;
    }
    return MovieFileRange{static_cast<int>(*first), static_cast<int>(*last)};
}

}  // namespace

int runRenderCommand(const std::vector<std::string>& args) {
    const CliCommand& command = *findCliCommand("render");
    CommandLine commandLine;
    if (const std::optional<int> status = readCommandLine(command, args, commandLine))
        return *status;
    // The progress shown here replaces the video libraries' own statistics lines.

    std::optional<MovieFileRange> files;
    if (commandLine.hasExtra("--files")) {
        files = movieFileRangeOf(commandLine.extra("--files"));
        if (!files)
            return usageError(command,
                              "--files: expected I-J, the numbers of the first and the "
                              "last movie file (0 is film.avi), I not above J");
    }

    MemoryControls controls;
    if (applyCommandLine(commandLine, controls, std::cerr) != 0) {
        return 1;
    }
    StartConversionResult start = convertControlsForStart(controls);
    if (!start.ok) {
        std::cerr << "zoomreel-cli render: " << start.message << '\n';
        return 1;
    }
    std::string error;
    if (!compressorFromOptions(commandLine, start.spec.output.movieFile, error))
        return usageError(command, error);
    const ContainerInfo* container = containerForFile(start.spec.output.firstMovieFile());
    if (container != nullptr && container->id != Container::kAvi &&
        (commandLine.hasExtra("--quality") || commandLine.hasExtra("--keyframe-every"))) {
        return usageError(command,
                          "--quality and --keyframe-every are for AVI compressors; the "
                          "quality of " +
                              start.spec.output.firstMovieFile() + " is --crf N");
    }

    if (const std::string problem = textureProblem(start.spec.texture); !problem.empty()) {
        std::cerr << "zoomreel-cli render: " << problem
                  << "; give a readable picture (TEXTUREFILE) or turn the texture off "
                     "(--set TEXTURE=0)\n";
        return 1;
    }
    ProgramThreads threads(threadBudgetOf(commandLine));
    RenderSession session(threads.share(), threads.encoderThreads());
    session.dumpImages = start.spec.start.dumpImages;
    CliRenderHost host(::isatty(STDERR_FILENO) != 0, commandLine.hasExtra("--verbose"));
    interruptedSession = &session;
    const auto previousInterrupt = std::signal(SIGINT, onStopSignal);
    const auto previousTerminate = std::signal(SIGTERM, onStopSignal);
    ExistingFilePolicy policy;
    policy.fresh = commandLine.hasExtra("--fresh");
    policy.overwrite = commandLine.hasExtra("--overwrite");
    const RenderOutcome outcome = runRenderJob(start.spec, session, host, files, policy);
    std::signal(SIGINT, previousInterrupt == SIG_ERR ? SIG_DFL : previousInterrupt);
    std::signal(SIGTERM, previousTerminate == SIG_ERR ? SIG_DFL : previousTerminate);
    interruptedSession = nullptr;

    if (!outcome.done) {
        std::cerr << "zoomreel-cli render: the render did not run: " << outcome.failure;
        if (outcome.failureKind == RunFailureKind::kInvalidFolder) {
            std::cerr << " (no .zmb key frames and no .jpg, .png or .bmp pictures in "
                      << commandLine.folder << ")";
        } else if (outcome.failureKind == RunFailureKind::kForeignFile) {
            std::cerr << ", or give --overwrite to replace it";
        }
        std::cerr << '\n';
        return 1;
    }
    for (const std::string& movie : outcome.moviesWritten) {
        std::cout << "wrote " << movie << '\n';
    }
    bool failed = false;
    for (const KeyFrameReadError& error : outcome.unusableKeyFrames) {
        std::cerr << "zoomreel-cli render: key frame " << error.text() << '\n';
        failed = true;
    }
    if (!outcome.moviesMissingKeyFrames.empty()) {
        std::cerr << "zoomreel-cli render: made without the detail of "
                  << (outcome.unusableKeyFrames.size() == 1 ? "that key frame" : "those key frames")
                  << ":";
        for (const std::string& movie : outcome.moviesMissingKeyFrames) {
            std::cerr << ' ' << movie;
        }
        std::cerr << "; mend or remove the key frame (or put a picture of the same name beside "
                     "it), then run the same command again to write "
                  << (outcome.moviesMissingKeyFrames.size() == 1 ? "it" : "them") << " again\n";
    }
    if (!outcome.movieFailures.empty()) {
        for (const MovieFileFailure& failure : outcome.movieFailures) {
            std::cerr << "zoomreel-cli render: could not write " << failure.file << ": "
                      << failure.reason << '\n';
        }
        if (outcome.movieWriteFailed) {
            std::cerr << "zoomreel-cli render: stopped at the first write that failed; make room "
                         "on the disk (or mend the cause above), then run the same command again "
                         "to write the missing files\n";
        } else if (outcome.movieNotCreated) {
            std::cerr << "zoomreel-cli render: stopped at the first movie file that could not "
                         "be created; mend the cause above (the folder, the movie size or the "
                         "codec), then run the same command again\n";
        } else {
            std::cerr << "zoomreel-cli render: check that the folder is writable and has space, "
                         "then run the same command again to write the missing files\n";
        }
        return 1;
    }
    if (outcome.stopped) {
        std::cerr << "zoomreel-cli render: stopped after " << outcome.framesCounted << " frames; ";
        if (!outcome.shortMovie.empty()) {
            std::cerr << outcome.shortMovie << " holds " << outcome.shortMovieFrames << " of its "
                      << outcome.shortMovieFramesDue
                      << " frames and is written again, whole, when ";
        } else {
            std::cerr << "the movie files still missing are written when ";
        }
        std::cerr << "the same command runs again\n";
        return stopSignal.load() == SIGTERM ? kTerminatedStatus : kInterruptedStatus;
    }
    if (!outcome.noFrameReason.empty()) {
        std::cerr << "zoomreel-cli render: no frame was made: " << outcome.noFrameReason << '\n';
        return 1;
    }
    return failed ? 1 : 0;
}

}  // namespace zr
