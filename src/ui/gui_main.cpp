// The desktop program: the main dialog, its preview window and small dialogs.

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/cli_options.h"
#include "app/program_versions.h"
#include "app/usage_text.h"
#include "movie/movie_length.h"
#include "support/thread_budget.h"
#include "ui/main_dialog.h"
#include "ui/preview_window.h"
#include "ui/scrubber.h"

namespace {

// Prints a message box instead of showing it (for scripted screenshots).
zr::MessageAnswer printMessage(const zr::MessageRequest& request) {
    std::fprintf(stderr, "zoomreel: %s: %s\n", request.title.c_str(), request.text.c_str());
    return request.buttons == zr::MessageButtons::yesNo ? zr::MessageAnswer::yes
                                                        : zr::MessageAnswer::ok;
}

// The help, the version and the manual page, which need no window system. None when the
// arguments ask for none of them.
std::optional<int> answerQuestions(const std::vector<std::string>& args) {
    const auto given = [&](std::string_view option) {
        return std::find(args.begin(), args.end(), option) != args.end();
    };
    const zr::ProgramInfo& program = zr::desktopProgram();
    if (given("--help") || given("-h")) {
        std::cout << zr::programHelp(program);
    } else if (given("--version")) {
        std::cout << zr::versionText(program.name, {{"Qt", qVersion()}});
    } else if (given("--man")) {  // hidden: the build makes the manual page with it
        std::cout << zr::manualPage(program, zr::programVersion());
    } else {
        return std::nullopt;
    }
    return 0;
}

// The last value given to `option`; none when it was not given.
std::optional<std::string> lastValue(const zr::ParsedArguments& parsed, std::string_view option) {
    std::optional<std::string> value;
    for (const auto& [name, given] : parsed.options) {
        if (name == option)
            value = given;
    }
    return value;
}

// Shows movie frame `position` once the timeline knows the movie.
void showMovieFrameWhenReady(zr::MainDialog& dialog, zr::MoviePosition position) {
    zr::Scrubber& timeline = dialog.preview().scrubber();
    auto* waitForMovie = new QTimer(&dialog);
    QObject::connect(
        waitForMovie, &QTimer::timeout, &dialog, [&timeline, &dialog, waitForMovie, position] {
            if (timeline.movieReady() && timeline.frameCount() > 0) {
                waitForMovie->stop();
                timeline.showFrame(zr::frameAtPosition(
                    position, std::max(1, zr::buildMovieSpec(dialog).spec.output.fps)));
            }
        });
    waitForMovie->start(50);
}

// Saves a picture of the dialog (or of the whole screen) to `file` and ends the dialog; with
// `wantFrame` it first waits (up to 20 s) for the timeline's frame to be shown.
void saveScreenshotWhenReady(zr::MainDialog& dialog, const QString& file, bool wholeScreen,
                             bool wantFrame) {
    zr::Scrubber& timeline = dialog.preview().scrubber();
    auto* waitForPicture = new QTimer(&dialog);
    QElapsedTimer waited;
    waited.start();
    QObject::connect(
        waitForPicture, &QTimer::timeout, &dialog,
        [&dialog, &timeline, file, wholeScreen, waited, wantFrame, waitForPicture] {
            const bool frameShown =
                timeline.pictureFrame() >= 0 && timeline.pictureFrame() == timeline.shownFrame();
            if (wantFrame && !frameShown && waited.elapsed() < 20000) {
                return;
            }
            waitForPicture->stop();
            QImage picture;
            if (wholeScreen) {
                picture = dialog.screen()->grabWindow(0).toImage();
            }
            if (picture.isNull()) {
                picture = dialog.screenshot();  // a window system that gives no screen picture
            }
            const bool saved = picture.save(file);
            std::fprintf(stderr, "zoomreel: %s %s\n", saved ? "saved" : "could not save",
                         file.toLocal8Bit().constData());
            dialog.done(saved ? 0 : 1);
        });
    waitForPicture->start(500);
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = answerQuestions({argv + 1, argv + argc}))
        return *status;
    zr::quietVideoLibraryMessages();
    // Qt takes its own options (-platform, -style, ...) out of the arguments.
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zoomreel");
    // The installed menu entry and icon (zoomreel.desktop, hicolor "zoomreel") name the windows'
    // icon; run from the build folder, the icon theme has none and Qt's default stays.
    QGuiApplication::setDesktopFileName("zoomreel");
    QApplication::setWindowIcon(QIcon::fromTheme("zoomreel"));

    zr::ParsedArguments parsed;
    std::string error;
    if (!zr::parseArguments(zr::desktopProgram().options, {argv + 1, argv + argc}, parsed, error) ||
        !parsed.operands.empty()) {
        if (error.empty())
            error = "unexpected argument \"" + parsed.operands.front() + "\"";
        std::cerr << "zoomreel: " << error << "\n(\"zoomreel --help\" lists the options)\n";
        return 2;
    }
    std::optional<zr::MoviePosition> movieFrame;
    if (const std::optional<std::string> text = lastValue(parsed, "--movie-frame")) {
        movieFrame = zr::readMoviePosition(*text);
        if (!movieFrame) {
            std::cerr << "zoomreel: option --movie-frame wants a frame number (0 is the first) or "
                         "a time mm:ss.fff or hh:mm:ss.fff, not \""
                      << *text << "\"\n";
            return 2;
        }
    }
    const std::optional<std::string> screenshot = lastValue(parsed, "--screenshot");

    // The dialog renders on the processors this process may use (its CPU affinity, its cgroup's
    // quota, Slurm's count).
    zr::ProgramThreads threads(zr::threadBudgetOf(zr::readProcessorLimits()));
    zr::MainDialog dialog(nullptr, &threads);
    if (screenshot) {
        dialog.setMessageHook(printMessage);
    }
    if (const std::optional<std::string> folder = lastValue(parsed, "--folder")) {
        dialog.chooseFolder(*folder);
    }
    if (const std::optional<std::string> settings = lastValue(parsed, "--settings")) {
        dialog.loadSettingsFrom(*settings);
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        dialog.centreOn(*screen);
    }
    dialog.show();
    if (movieFrame) {
        showMovieFrameWhenReady(dialog, *movieFrame);
    } else if (lastValue(parsed, "--test") || screenshot) {
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.testKeyFrame(); });
    }
    if (screenshot) {
        saveScreenshotWhenReady(dialog, QString::fromLocal8Bit(screenshot->c_str()),
                                lastValue(parsed, "--whole-screen").has_value(),
                                movieFrame.has_value());
    }
    // A run still under way when the dialog ends is stopped by the dialog, which waits until
    // it has finished the movie file it is writing.
    return dialog.exec();
}
