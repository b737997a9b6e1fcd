#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cstring>
#include <fstream>

#include "dialog_test_support.h"
#include "keyframes/key_frame_writer.h"
#include "settings/memory_controls.h"
#include "settings/movie_spec.h"
#include "settings/setting_types.h"
#include "settings/settings_file.h"
#include "ui/widget_helpers.h"

using namespace zr;
using zr::testing::MessageRecorder;
using zr::testing::userSelectsLine;
using zr::testing::userTypes;

namespace {

std::vector<std::string> entriesOf(const MainDialog& dialog, int id) {
    std::vector<std::string> entries;
    const auto* box = qobject_cast<const QComboBox*>(dialog.control(id));
    for (int i = 0; box != nullptr && i < box->count(); ++i) {
        entries.push_back(box->itemText(i).toStdString());
    }
    return entries;
}

void writeKeyFrame(const QString& path, int width, int height) {
    std::string error;
    QVERIFY2(
        writeKeyFrameFile(path.toStdString(), KeyFrameFileData::uniform(width, height, 10), &error),
        error.c_str());
}

void writeBytes(const QString& path, const std::string& bytes) {
    std::ofstream file(path.toStdString(), std::ios::binary);
    file << bytes;
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void everyControlHasItsCaptionAndIdentifier() {
        MainDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Zoomreel"));
        const std::vector<std::pair<int, const char*>> captions = {
            {kIdStart, "Start"},
            {kIdExit, "Exit"},
            {kIdBrowseFolder, "..."},
            {kIdSpeedFrameNum, "Frame num."},
            {kIdSpeedAdd, "Add"},
            {kIdSpeedUpdate, "Update"},
            {kIdSpeedRemove, "Remove"},
            {kIdSpeedGroup, "Speed control"},
            {kIdRotateGroup, "Rotation control"},
            {kIdCycleGroup, "Color cycle control"},
            {kIdDivideGroup, "Color division control"},
            {kIdColorCountGroup, "Number of colors control"},
            {kIdLongWaveGroup, "Long waves"},
            {kIdColorCountLabel, "Colors"},
            {kIdWavePeriodLabel, "Period"},
            {kIdSlopes, "Slope"},
            {kIdTexture, "Texture"},
            {kIdTextureChoose, "File..."},
            {kIdTextureMulti, "Multi"},
            {kIdShowZoomText, "Show zoom text"},
            {kIdFont, "Font"},
            {kIdSmoothColoring, "Smooth color transitions"},
            {kIdFixedColorCycling, "Fixed color cycling"},
            {kIdStopOnLastFrame, "Stop movie directly on last frame"},
            {kIdLeftScrolling, "Left scrolling"},
            {kIdInsideColor, "M-Color"},
            {kIdTestOnly, "Test only"},
            {kIdSkipRender, "Skip render"},
            {kIdFrameByFrame, "Frame by frame"},
            {kIdEllipticRegion, "Elliptic Region"},
            {kIdSaveSettings, "Save settings"},
            {kIdLoadSettings, "Load settings"},
            {kIdWaveColoring, "Wave coloring"},
            {kIdWavePrime, "P"},
            {kIdTest, "Test"},
            {kIdWaveSeed, "Seed"},
            {kIdLongWaveColor, "Color"},
            {kIdAbout, "?"},
            {kIdAspect43, "4:3"},
            {kIdDivideSlopes, "Div"},
            {kIdDumpImages, "Dump imag"},
        };
        for (const auto& [id, caption] : captions) {
            QVERIFY2(dialog.control(id) != nullptr, std::to_string(id).c_str());
            QCOMPARE(dialog.text(id), std::string(caption));
            QCOMPARE(dialog.control(id)->property("controlId").toInt(), id);
        }
        // Every identifier from 1000 to 1119 that the dialog names exists, with its property.
        for (int id :
             {1000, 1002, 1003, 1004, 1008, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017,
              1018, 1026, 1027, 1029, 1030, 1035, 1037, 1038, 1043, 1045, 1046, 1054, 1055,
              1057, 1058, 1064, 1066, 1067, 1068, 1070, 1072, 1077, 1080, 1091, 1093, 1094,
              1099, 1100, 1101, 1103, 1104, 1105, 1106, 1107, 1108, 1113, 1114, 1116, 1117}) {
            QVERIFY2(dialog.control(id) != nullptr, std::to_string(id).c_str());
            QCOMPARE(dialog.control(id)->property("controlId").toInt(), id);
        }
        for (int id : {kIdFrameWidth, kIdFrameHeight, kIdCurrentCycle, kIdCurrentRotation,
                       kIdCurrentIteration, kIdColors, kIdStatus, kIdFontFace, kIdMovieLength,
                       kIdTextureFile}) {
            QVERIFY(qobject_cast<QLineEdit*>(dialog.control(id))->isReadOnly());
        }
        QVERIFY(qobject_cast<QPushButton*>(dialog.control(kIdStart))->isDefault());
    }

    void initialisationGivesTheDefaults() {
        MainDialog dialog;
        dialog.show();
        QCOMPARE(entriesOf(dialog, kIdTimeType),
                 (std::vector<std::string>{"Speed", "Time", "Time NS"}));
        QCOMPARE(dialog.selection(kIdTimeType), 0);
        QCOMPARE(entriesOf(dialog, kIdWaveType),
                 (std::vector<std::string>{"Hue", "Saturation", "Brightness", "Wave(RGB)"}));
        QCOMPARE(dialog.selection(kIdWaveType), -1);
        QCOMPARE(entriesOf(dialog, kIdColorMethod),
                 (std::vector<std::string>{"Standard", "Square root", "Cubic root", "Logarithm",
                                           "Stretched", "Distance"}));
        QCOMPARE(dialog.selection(kIdColorMethod), 0);
        QCOMPARE(entriesOf(dialog, kIdColorBits), (std::vector<std::string>{"24", "32"}));
        QCOMPARE(dialog.selection(kIdColorBits), 0);
        QCOMPARE(entriesOf(dialog, kIdZoomOutLevel),
                 (std::vector<std::string>{"2", "4", "8", "16", "Custom..."}));
        QCOMPARE(dialog.selection(kIdZoomOutLevel), 0);
        QCOMPARE(dialog.entryCount(kIdMergeCount), 16);
        QCOMPARE(dialog.text(kIdMergeCount), std::string("4"));
        QCOMPARE(dialog.text(kIdStartFrame), std::string("0"));
        QCOMPARE(dialog.text(kIdFps), std::string("30"));
        QVERIFY(!dialog.text(kIdMovieLength).empty());
        QCOMPARE(dialog.lines(kIdSpeedList), std::vector<std::string>{"0\t25"});
        QVERIFY(dialog.checked(kIdShowZoomText));
        QVERIFY(dialog.checked(kIdSmoothColoring));
        QCOMPARE(dialog.text(kIdFontFace), std::string("Courier New"));
        QCOMPARE(dialog.text(kIdWaveTypeLetter), std::string());
        for (int id : {kIdAspect43, kIdDivideSlopes, kIdDumpImages, kIdWaveTypeLetter}) {
            QVERIFY(!dialog.control(id)->isVisible());
            QVERIFY(!dialog.checked(id));
        }
        // A fixed-size window, with the preview beside it.
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QTRY_VERIFY(dialog.preview().isVisible());
        QCOMPARE(dialog.preview().windowTitle(), QString("Preview"));
        QCOMPARE(dialog.preview().frameGeometry().top(), dialog.frameGeometry().top());
    }

    void everyTextFitsTheCompactLayout_data() {
        QTest::addColumn<double>("fontScale");
        QTest::newRow("default font") << 1.0;
        // As on a screen of twice the DPI where the window system scales fonts, not pixels.
        QTest::newRow("font twice as large") << 2.0;
    }

    void everyTextFitsTheCompactLayout() {
        QFETCH(double, fontScale);
        const QFont defaultFont = QApplication::font();
        QFont font = defaultFont;
        font.setPointSizeF(font.pointSizeF() * fontScale);
        QApplication::setFont(font);
        {
            MainDialog dialog;
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            // Compact: 910 x 523 pixels with the default font at 96 DPI (it was 1218 x 661).
            QVERIFY2(dialog.width() <= 920 * fontScale && dialog.height() <= 540 * fontScale,
                     qPrintable(QString("%1 x %2").arg(dialog.width()).arg(dialog.height())));

            // Captions whole: every label, button, check box and list as large as it asks.
            for (const QWidget* widget : dialog.findChildren<QWidget*>()) {
                if (!widget->isVisible() || !(qobject_cast<const QLabel*>(widget) ||
                                              qobject_cast<const QAbstractButton*>(widget) ||
                                              qobject_cast<const QComboBox*>(widget))) {
                    continue;
                }
                const QSize wanted = widget->sizeHint();
                QVERIFY2(widget->width() >= wanted.width() && widget->height() >= wanted.height(),
                         qPrintable(widget->property("controlId").toString() + " " +
                                    widget->metaObject()->className()));
            }
            for (const QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
                QVERIFY(group->width() > group->fontMetrics().horizontalAdvance(group->title()));
            }

            // The widest value the program writes into a field shows whole: the first and the
            // last character are both in view.
            const std::vector<std::pair<int, const char*>> widest = {
                {kIdFramesPerMovie, "1037000000"},
                {kIdCurrentCycle, "-1234.567890"},
                {kIdCurrentRotation, "-359.999999"},
                {kIdCurrentIteration, "2147483647"},
                {kIdMovieLength, "100:00:00.000"},
                {kIdFrameWidth, "65536"},
                {kIdFrameHeight, "65536"},
                {kIdMovieWidth, "65536"},
                {kIdMovieHeight, "36864"},
                {kIdColors, "100000-150000 99990-150000"},
                {kIdSpeedKey, "99999"},
                {kIdRotateKey, "99999"},
                {kIdCycleKey, "99999"},
                {kIdDivideKey, "99999"},
                {kIdColorCountKey, "99999"},
                {kIdLongWaveColorText, "255,255,255"},
            };
            for (const auto& [id, value] : widest) {
                auto* edit = qobject_cast<QLineEdit*>(dialog.control(id));
                dialog.setText(id, value);
                edit->setCursorPosition(0);
                const int middle = edit->height() / 2;
                QVERIFY2(edit->cursorPositionAt(QPoint(2, middle)) == 0 &&
                             edit->cursorPositionAt(QPoint(edit->width() - 3, middle)) ==
                                 static_cast<int>(std::strlen(value)),
                         value);
            }
        }
        QApplication::setFont(defaultFont);
    }

    void movieWidthSetsHeightAndFramesPerMovie() {
        MainDialog dialog;
        userTypes(dialog, kIdMovieWidth, "1280");
        QCOMPARE(dialog.text(kIdMovieHeight), std::string("720"));
        QCOMPARE(dialog.text(kIdFramesPerMovie), std::string("1125"));
        dialog.setText(kIdMovieWidth, "0");
        QCOMPARE(dialog.text(kIdMovieHeight), std::string("0"));
        QCOMPARE(dialog.text(kIdFramesPerMovie), std::string("1037000000"));
        // The same width set again still derives "Frames per movie" (a loaded file relies on
        // it), and a width whose product overflows 32 bits is computed without overflow.
        dialog.setText(kIdFramesPerMovie, "7");
        dialog.setText(kIdMovieWidth, "0");
        QCOMPARE(dialog.text(kIdFramesPerMovie), std::string("1037000000"));
        dialog.setText(kIdMovieWidth, "100000");
        QCOMPARE(dialog.text(kIdMovieHeight), std::string("56250"));
        QCOMPARE(dialog.text(kIdFramesPerMovie), std::string("0"));
    }

    void folderChoiceReadsSizesAndCounts() {
        MainDialog dialog;
        MessageRecorder messages(dialog);
        QTemporaryDir folder;
        for (int i = 1; i <= 3; ++i) {
            writeKeyFrame(folder.filePath(QString("0000%1_1e%1.zmb").arg(i)), 640, 360);
        }
        for (int i = 1; i <= 5; ++i) {
            writeBytes(folder.filePath(QString("0000%1.JPG").arg(i)), "not read");
        }
        dialog.chooseFolder(folder.path().toStdString());
        QVERIFY(messages.requests.empty());
        QCOMPARE(dialog.text(kIdDirectory), folder.path().toStdString());
        QCOMPARE(dialog.text(kIdFrameWidth), std::string("640"));
        QCOMPARE(dialog.text(kIdMovieWidth), std::string("640"));
        QCOMPARE(dialog.text(kIdFrameHeight), std::string("360"));
        QCOMPARE(dialog.text(kIdMovieHeight), std::string("360"));
        QCOMPARE(dialog.text(kIdFramesPerMovie), std::string("4500"));
        QCOMPARE(dialog.keyFrameCount(), 5);
    }

    void folderChoiceErrors() {
        MainDialog dialog;
        MessageRecorder messages(dialog);
        QTemporaryDir empty;
        dialog.chooseFolder(empty.path().toStdString());
        QCOMPARE(messages.requests.size(), std::size_t{1});
        // The design's text, then why and what to do.
        QVERIFY(messages.requests[0].text.starts_with("Could not open file in this directory:\n"));
        QVERIFY(messages.requests[0].text.find(
                    "No .zmb key frame file and no .jpg, .png or .bmp picture in") !=
                std::string::npos);
        QVERIFY(messages.requests[0].text.find("Directory") != std::string::npos);
        QCOMPARE(messages.requests[0].title, std::string("Error"));
        QVERIFY(messages.requests[0].icon == MessageIcon::error);
        QCOMPARE(dialog.text(kIdDirectory), empty.path().toStdString());

        QTemporaryDir wrong;
        writeBytes(wrong.filePath("00001_1e3.zmb"), std::string("PNG\x10\0\0\0\x10\0\0\0", 11));
        dialog.chooseFolder(wrong.path().toStdString());
        QCOMPARE(messages.requests.size(), std::size_t{2});
        QVERIFY(messages.requests[1].text.starts_with("File is either corrupt or of another type"));
        QCOMPARE(dialog.text(kIdDirectory), wrong.path().toStdString());
        QCOMPARE(dialog.text(kIdFrameWidth), std::string());

        // A folder of key frames clears what a failed Start said.
        QTemporaryDir good;
        writeKeyFrame(good.filePath("00001_1e3.zmb"), 64, 36);
        dialog.setText(kIdStatus, "Invalid Folder");
        dialog.chooseFolder(good.path().toStdString());
        QCOMPARE(messages.requests.size(), std::size_t{2});
        QCOMPARE(dialog.text(kIdStatus), std::string());
    }

    void startSaysWhatIsWrongInTheDialogsTerms() {
        MainDialog dialog;
        MessageRecorder messages(dialog);
        int codecDialogs = 0;
        dialog.setVideoCodecHook([&](Container, VideoCodecChoice&) {
            ++codecDialogs;
            return true;
        });
        const auto start = [&]() -> std::string {
            const std::size_t before = messages.requests.size();
            qobject_cast<QPushButton*>(dialog.control(kIdStart))->click();
            if (dialog.runInProgress() || messages.requests.size() != before + 1) {
                return "(no message)";
            }
            return messages.requests.back().text;
        };
        // A key frame folder that is not there is not "the folder of the movie file".
        QTemporaryDir parent;
        dialog.setText(kIdDirectory, parent.filePath("gone").toStdString());
        std::string text = start();
        QVERIFY2(text.starts_with("Invalid Folder: the key frame folder"), text.c_str());
        QVERIFY(text.find("movie file") == std::string::npos);
        QVERIFY(dialog.control(kIdDirectory)->hasFocus() || !dialog.isActiveWindow());

        // An empty one says why.
        dialog.setText(kIdDirectory, parent.path().toStdString());
        text = start();
        QVERIFY2(text.starts_with("Invalid Folder: no .zmb key frame file"), text.c_str());

        // An AVI movie with sound names the Movie file control, not an option of the command
        // line.
        writeKeyFrame(parent.filePath("00001_1e3.zmb"), 64, 36);
        writeKeyFrame(parent.filePath("00002_1e4.zmb"), 64, 36);
        dialog.chooseFolder(parent.path().toStdString());
        dialog.setText(kIdMovieFile, "film.avi");
        dialog.setText(kIdSoundFile, "tune.wav");
        text = start();
        QVERIFY2(text.find("Movie file") != std::string::npos, text.c_str());
        QVERIFY(text.find("--") == std::string::npos);

        // A soundtrack that cannot be read is reported before the codec dialog.
        dialog.setText(kIdMovieFile, "film.mp4");
        text = start();
        QVERIFY2(text.find("tune.wav") != std::string::npos, text.c_str());
        QVERIFY(text.find("Sound...") != std::string::npos);
        QCOMPARE(codecDialogs, 0);
    }

    void theFocusGoesInReadingOrder() {
        MainDialog dialog;
        std::vector<int> chain;
        for (QWidget* widget = dialog.nextInFocusChain(); widget != &dialog;
             widget = widget->nextInFocusChain()) {
            if ((widget->focusPolicy() & Qt::TabFocus) != 0 && !widget->isHidden()) {
                chain.push_back(controlIdOf(widget));
            }
        }
        const auto place = [&](int id) {
            return std::find(chain.begin(), chain.end(), id) - chain.begin();
        };
        // The third column from the top: start values, texture, long waves, sizes.
        QVERIFY(place(kIdStartCycle) < place(kIdTextureDepth));
        QVERIFY(place(kIdTextureDepth) < place(kIdLongWaveColor));
        QVERIFY(place(kIdLongWavePeriod) < place(kIdMovieWidth));
        QVERIFY(place(kIdMovieWidth) < place(kIdFps));
        QVERIFY(place(kIdFps) < place(kIdStart));
        // The status line is read, not typed into.
        QCOMPARE(place(kIdStatus), static_cast<std::ptrdiff_t>(chain.size()));
    }

    void showZoomTextAsksAndThanks() {
        MainDialog dialog;
        MessageRecorder messages(dialog);
        auto* box = qobject_cast<QCheckBox*>(dialog.control(kIdShowZoomText));
        messages.answers = {MessageAnswer::no};
        box->click();
        QVERIFY(dialog.checked(kIdShowZoomText));
        QVERIFY(dialog.control(kIdFont)->isEnabled());
        QCOMPARE(messages.requests.back().title, std::string("What??"));
        QVERIFY(messages.requests.back().buttons == MessageButtons::yesNo);
        QVERIFY(messages.requests.back().text.rfind(
                    "Are you sure you want to turn off the display of the Zoom?\n\n", 0) == 0);

        messages.answers = {MessageAnswer::yes};
        box->click();
        QVERIFY(!dialog.checked(kIdShowZoomText));
        QVERIFY(!dialog.control(kIdFont)->isEnabled());

        box->click();
        QVERIFY(dialog.checked(kIdShowZoomText));
        QVERIFY(dialog.control(kIdFont)->isEnabled());
        QCOMPARE(messages.requests.back().title, std::string("Thanks"));
        QCOMPARE(messages.requests.back().text, std::string("Thanks for your wise decision"));
        // Setting the check state (as a settings file does) asks nothing.
        const std::size_t asked = messages.requests.size();
        dialog.setChecked(kIdShowZoomText, false);
        QCOMPARE(messages.requests.size(), asked);
    }

    void settingsSaveThenLoadRestoresTheDialog() {
        QTemporaryDir folder;
        const std::string path = folder.filePath("movie.zrs").toStdString();
        {
            MainDialog dialog;
            MessageRecorder messages(dialog);
            dialog.setText(kIdDirectory, "/some/folder");
            dialog.addLine(kIdSpeedList, "100\t30");
            dialog.addLine(kIdRotateList, "100\t0.5");
            dialog.addLine(kIdCycleList, "50\t0.5");
            dialog.addLine(kIdDivideList, "200\t2");
            dialog.addLine(kIdColorCountList, "300\t2");
            dialog.addLine(kIdWaveList, "H\t997");
            dialog.setChecked(kIdWaveColoring, true);
            dialog.addLine(kIdLongWaveList, "255,0,0\t100\t50");
            dialog.addLine(kIdLongWaveList, "0,0,255\t200\t30");
            dialog.setText(kIdFps, "25");
            dialog.setText(kIdMovieWidth, "1280");
            dialog.setSelection(kIdZoomOutLevel, 2);
            dialog.setSelection(kIdTimeType, 1);
            dialog.setSelection(kIdMergeCount, 9);
            dialog.setSelection(kIdColorMethod, 4);
            dialog.setSelection(kIdColorBits, 1);
            dialog.setChecked(kIdSmoothColoring, false);
            dialog.setChecked(kIdStopOnLastFrame, true);
            dialog.setChecked(kIdSlopes, true);
            dialog.setText(kIdSlopePower, "40");
            QVERIFY(dialog.saveSettingsTo(path));
            QVERIFY(messages.requests.empty());
        }
        MainDialog loaded;
        MessageRecorder messages(loaded);
        QVERIFY(loaded.loadSettingsFrom(path));
        QVERIFY(messages.requests.empty());
        QCOMPARE(loaded.text(kIdDirectory), std::string("/some/folder"));
        QCOMPARE(loaded.lines(kIdSpeedList), (std::vector<std::string>{"0\t25", "100\t30"}));
        QCOMPARE(loaded.lines(kIdRotateList), std::vector<std::string>{"100\t0.5"});
        QCOMPARE(loaded.lines(kIdCycleList), std::vector<std::string>{"50\t0.5"});
        QCOMPARE(loaded.lines(kIdDivideList), std::vector<std::string>{"200\t2"});
        QCOMPARE(loaded.lines(kIdColorCountList), std::vector<std::string>{"300\t2"});
        QCOMPARE(loaded.lines(kIdWaveList), std::vector<std::string>{"H\t997"});
        QVERIFY(loaded.checked(kIdWaveColoring));
        QCOMPARE(loaded.lines(kIdLongWaveList),
                 (std::vector<std::string>{"255,0,0\t100\t50", "0,0,255\t200\t30"}));
        QCOMPARE(loaded.text(kIdFps), std::string("25"));
        QCOMPARE(loaded.text(kIdMovieWidth), std::string("1280"));
        QCOMPARE(loaded.text(kIdMovieHeight), std::string("720"));
        QCOMPARE(loaded.text(kIdFramesPerMovie), std::string("1125"));
        QCOMPARE(loaded.selection(kIdZoomOutLevel), 2);
        QCOMPARE(loaded.selection(kIdTimeType), 1);
        QCOMPARE(loaded.selection(kIdMergeCount), 9);
        QCOMPARE(loaded.selection(kIdColorMethod), 4);
        QCOMPARE(loaded.selection(kIdColorBits), 1);
        QVERIFY(!loaded.checked(kIdSmoothColoring));
        QVERIFY(loaded.checked(kIdStopOnLastFrame));
        QVERIFY(loaded.checked(kIdSlopes));
        QCOMPARE(loaded.text(kIdSlopePower), std::string("40"));

        // A file that cannot be written or read: the one error box.
        QVERIFY(!loaded.saveSettingsTo(folder.filePath("missing/x.zrs").toStdString()));
        QVERIFY(!loaded.loadSettingsFrom(folder.filePath("missing.zrs").toStdString()));
        QCOMPARE(messages.requests.size(), std::size_t{2});
        for (const MessageRequest& request : messages.requests) {
            QCOMPARE(request.text, std::string("Could not create file"));
            QCOMPARE(request.title, std::string("Error"));
        }
    }

    void loadingAPlainFileAfterASubpixelOneGivesWhatAFreshDialogGets() {
        QTemporaryDir folder;
        const std::string subpixel = folder.filePath("subpixel.zrs").toStdString();
        const std::string plain = folder.filePath("plain.zrs").toStdString();
        writeBytes(QString::fromStdString(subpixel),
                   "FPS: 24\r\nSubpixelZoom: 1\r\nSupersample: 3\r\nMOVIEFILE: a.mp4\r\n"
                   "SOUND: b.ogg\r\nSOUNDOFFSET: 2\r\n");
        {
            MainDialog saver;
            saver.setText(kIdMovieWidth, "640");
            QVERIFY(saver.saveSettingsTo(plain));
        }
        MainDialog fresh;
        QVERIFY(fresh.loadSettingsFrom(plain));
        MainDialog used;
        QVERIFY(used.loadSettingsFrom(subpixel));
        QVERIFY(used.checked(kIdSubpixelZoom));
        QVERIFY(used.loadSettingsFrom(plain));
        QCOMPARE(settingsText(used), settingsText(fresh));
        QVERIFY(!used.checked(kIdSubpixelZoom));
        QCOMPARE(used.text(kIdSupersample), std::string("1"));
        QCOMPARE(used.text(kIdMovieFile), std::string());
        // Start makes of it the movie the command line makes of the same file.
        MemoryControls commandLine;
        QVERIFY(loadSettingsFile(commandLine, plain).ok);
        const MovieSpecResult dialogMovie = buildMovieSpec(used);
        QVERIFY(dialogMovie.ok());
        QVERIFY(dialogMovie.spec == buildMovieSpec(commandLine).spec);

        // Lines passed over are told in the status; the loading goes on as before.
        const std::string typo = folder.filePath("typo.zrs").toStdString();
        writeBytes(QString::fromStdString(typo), "FPS: 12\r\nFps: 13\r\n");
        QVERIFY(used.loadSettingsFrom(typo));
        QCOMPARE(used.text(kIdFps), std::string("12"));
        QCOMPARE(used.text(kIdStatus),
                 std::string("typo.zrs:2: unknown key Fps (keys match exactly: FPS?); the line is "
                             "passed over"));
    }

    void startRefusesAZeroSpeed() {
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.clearLines(kIdSpeedList);
        dialog.addLine(kIdSpeedList, "0\t0");
        qobject_cast<QPushButton*>(dialog.control(kIdStart))->click();
        QCOMPARE(messages.requests.size(), std::size_t{1});
        QCOMPARE(messages.requests[0].text, std::string("Speed cannot be zero"));
        QCOMPARE(messages.requests[0].title, std::string("Error"));
        QVERIFY(!dialog.runInProgress());
        QCOMPARE(dialog.text(kIdStart), std::string("Start"));
    }

    void exitEndsWithResultZero() {
        MainDialog dialog;
        dialog.show();
        qobject_cast<QPushButton*>(dialog.control(kIdExit))->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), 0);
    }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
