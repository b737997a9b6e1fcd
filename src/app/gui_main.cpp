// The desktop program: the main dialog, its preview window and small dialogs.

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "settings/movie_settings.h"
#include "ui/main_dialog.h"

namespace {

// Prints a message box instead of showing it (for scripted screenshots).
zr::MessageAnswer printMessage(const zr::MessageRequest& request) {
    std::fprintf(stderr, "zoomreel: %s: %s\n", request.title.c_str(), request.text.c_str());
    return request.buttons == zr::MessageButtons::yesNo ? zr::MessageAnswer::yes
                                                        : zr::MessageAnswer::ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zoomreel");

    QCommandLineParser parser;
    parser.setApplicationDescription("Turns a folder of fractal key frames into a zoom movie.");
    parser.addHelpOption();
    const QCommandLineOption folderOption("folder", "Choose the key frame folder DIR.", "DIR");
    const QCommandLineOption settingsOption("settings", "Load the settings file FILE.zrs.", "FILE");
    const QCommandLineOption testOption("test", "Press Test once the dialog is up.");
    const QCommandLineOption screenshotOption(
        "screenshot", "Save a picture of the dialog and the preview as FILE.png, then quit.",
        "FILE");
    parser.addOptions({folderOption, settingsOption, testOption, screenshotOption});
    parser.process(app);

    // No wave until the wave list says otherwise.
    zr::movieSettings().hsbWaves[0].endFlag = 1;

    zr::MainDialog dialog;
    const bool scripted = parser.isSet(screenshotOption);
    if (scripted) {
        dialog.setMessageHook(printMessage);
    }
    if (parser.isSet(folderOption)) {
        dialog.chooseFolder(parser.value(folderOption).toStdString());
    }
    if (parser.isSet(settingsOption)) {
        dialog.loadSettingsFrom(parser.value(settingsOption).toStdString());
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        dialog.adjustSize();
        dialog.move(screen->availableGeometry().center() - dialog.rect().center());
    }
    dialog.show();
    if (parser.isSet(testOption) || scripted) {
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.testKeyFrame(); });
    }
    if (scripted) {
        const QString file = parser.value(screenshotOption);
        QTimer::singleShot(500, &dialog, [&dialog, file] {
            const bool saved = dialog.screenshot().save(file);
            std::fprintf(stderr, "zoomreel: %s %s\n", saved ? "saved" : "could not save",
                         file.toLocal8Bit().constData());
            dialog.done(saved ? 0 : 1);
        });
    }
    const int result = dialog.exec();
    if (dialog.runInProgress()) {
        // A run still under way is not waited for: the program ends here, and the movie file
        // being written keeps its temporary name.
        std::fflush(nullptr);
        std::quick_exit(result);
    }
    return result;
}
