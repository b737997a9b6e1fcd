// The desktop program: the main dialog, its preview window and small dialogs.

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

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
    // The installed menu entry and icon (zoomreel.desktop, hicolor "zoomreel") name the windows'
    // icon; run from the build folder, the icon theme has none and Qt's default stays.
    QGuiApplication::setDesktopFileName("zoomreel");
    QApplication::setWindowIcon(QIcon::fromTheme("zoomreel"));

    QCommandLineParser parser;
    parser.setApplicationDescription("Turns a folder of fractal key frames into a zoom movie.");
    parser.addHelpOption();
    const QCommandLineOption folderOption("folder", "Choose the key frame folder DIR.", "DIR");
    const QCommandLineOption settingsOption("settings", "Load the settings file FILE.zrs.", "FILE");
    const QCommandLineOption testOption("test", "Press Test once the dialog is up.");
    const QCommandLineOption screenshotOption(
        "screenshot", "Save a picture of the dialog and the preview as FILE.png, then quit.",
        "FILE");
    const QCommandLineOption wholeScreenOption(
        "whole-screen", "With --screenshot, save the whole screen the dialog is on instead.");
    parser.addOptions(
        {folderOption, settingsOption, testOption, screenshotOption, wholeScreenOption});
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
        dialog.centreOn(*screen);
    }
    dialog.show();
    if (parser.isSet(testOption) || scripted) {
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.testKeyFrame(); });
    }
    if (scripted) {
        const QString file = parser.value(screenshotOption);
        const bool wholeScreen = parser.isSet(wholeScreenOption);
        QTimer::singleShot(500, &dialog, [&dialog, file, wholeScreen] {
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
    }
    // A run still under way when the dialog ends is stopped by the dialog, which waits until
    // it has finished the movie file it is writing.
    return dialog.exec();
}
