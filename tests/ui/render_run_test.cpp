#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "dialog_test_support.h"
#include "keyframes/key_frame_writer.h"
#include "movie/render_session.h"
#include "output/movie_file.h"
#include "output/movie_record.h"
#include "output/soundtrack.h"
#include "settings/setting_types.h"

using namespace zr;
using zr::testing::MessageRecorder;

namespace {

// Three small key frames with rings of counts, so that colouring gives a picture.
void writeKeyFrames(const QTemporaryDir& folder, int count) {
    for (int k = 1; k <= count; ++k) {
        KeyFrameFileData data = KeyFrameFileData::uniform(64, 36, 0);
        for (int y = 0; y < 36; ++y) {
            for (int x = 0; x < 64; ++x) {
                data.setPixel(x, y, 5 + (x + y + k) % 40, 0.25f);
            }
        }
        std::string error;
        QVERIFY2(writeKeyFrameFile(
                     folder.filePath(QString("%1_1e%2.zmb").arg(k, 5, 10, QChar('0')).arg(k))
                         .toStdString(),
                     data, &error),
                 error.c_str());
    }
}

// The dialog set for a "Test only" run of the folder at one speed (frames per key frame).
void prepareTestOnlyRun(MainDialog& dialog, const QTemporaryDir& folder, const char* speedLine) {
    dialog.chooseFolder(folder.path().toStdString());
    dialog.clearLines(kIdSpeedList);
    dialog.addLine(kIdSpeedList, speedLine);
    dialog.setChecked(kIdTestOnly, true);
}

// Collects every text the status line shows.
struct StatusRecorder {
    explicit StatusRecorder(MainDialog& dialog) {
        QObject::connect(qobject_cast<QLineEdit*>(dialog.control(kIdStatus)),
                         &QLineEdit::textChanged,
                         [this](const QString& text) { texts.push_back(text.toStdString()); });
    }
    std::vector<std::string> texts;
};

void press(MainDialog& dialog, int id) {
    qobject_cast<QPushButton*>(dialog.control(id))->click();
}

// A second of a 440 Hz tone as a 16-bit mono WAV file.
void writeTone(const QString& path) {
    constexpr std::uint32_t kRate = 8000;
    std::vector<std::int16_t> samples(kRate);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(8000.0 * std::sin(i * 2 * 3.14159265 * 440 / kRate));
    }
    const std::uint32_t bytes = static_cast<std::uint32_t>(samples.size() * 2);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + bytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(kRate) << quint32(kRate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << bytes;
    for (const std::int16_t sample : samples) {
        out << qint16(sample);
    }
}

}  // namespace

class RenderRunTest : public QObject {
    Q_OBJECT
  private slots:
    void eventsFromTheRenderThreadAreQueuedInOrderWithoutWaitingOrFlooding() {
        MainDialog dialog;
        MessageRecorder messages(dialog);
        StatusRecorder status(dialog);
        dialog.setText(kIdStart, "Stop");
        RenderHost& host = dialog.renderHost();
        std::atomic<bool> done{false};
        // The render thread goes through every event without the dialog's thread running.
        std::thread render([&] {
            host.runStarted();
            KeyFrameStarted started;
            started.counters.keyFrame = 2;
            started.keyFrameName = "k.zmb";
            host.keyFrameStarted(started);
            host.speedLineReached({3, 50, 25});
            // Frames one after another: the dialog shows the newest of them once.
            for (const double cycle : {1.0, 1.25, 1.5}) {
                FrameDone frame;
                frame.colors.cycle = cycle;
                frame.keyFrameName = "k.zmb";
                frame.framesDone = 5;
                frame.framesToMake = 10;
                host.frameDone(frame);
            }
            RenderOutcome outcome;
            outcome.done = true;
            outcome.colors.cycle = 2.5;
            host.runEnded(outcome);
            done = true;
        });
        render.join();
        QVERIFY(done.load());
        QVERIFY(status.texts.empty());
        QTRY_VERIFY_WITH_TIMEOUT(dialog.lastOutcome().has_value(), 10000);
        QCOMPARE(status.texts,
                 (std::vector<std::string>{"Start", "Create image M:0,P:2,F:0 k.zmb",
                                           "M:0,P:0,F:0,C:1.500000,D:0.000000,R:0.000000 k.zmb",
                                           "Done! M:0,P:0,F:0,C:2.500000,D:0.000000,R:0.000000"}));
        QCOMPARE(messages.requests.size(), std::size_t{1});
        QCOMPARE(messages.requests[0].title, std::string("Debug"));
        QCOMPARE(messages.requests[0].text, std::string("Frame: 3\nTime: 00:00:02.000"));
        QCOMPARE(dialog.text(kIdStart), std::string("Start"));
        QCOMPARE(dialog.text(kIdCurrentCycle), std::string("2.500000"));
        QVERIFY(!dialog.runInProgress());
    }

    void theDialogShowsHowARunEnded() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 3);
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.show();

        // Done: every frame of a short run.
        prepareTestOnlyRun(dialog, folder, "0\t2");
        press(dialog, kIdStart);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.lastOutcome().has_value(), 60000);
        QVERIFY(dialog.lastOutcome()->done);
        QVERIFY(!dialog.lastOutcome()->stopped);
        QVERIFY(dialog.lastOutcome()->framesCounted > 0);
        QVERIFY(dialog.text(kIdStatus).rfind("Done! M:", 0) == 0);

        // Stopped: a long run stopped by the second press.
        prepareTestOnlyRun(dialog, folder, "0\t100000");
        press(dialog, kIdStart);
        QTest::qWait(200);
        press(dialog, kIdStart);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.runInProgress(), 60000);
        QVERIFY(dialog.lastOutcome()->done);
        QVERIFY(dialog.lastOutcome()->stopped);

        // Failed: a zoom by 16 at 1920 x 1080 would need pictures of more than 1 GB.
        prepareTestOnlyRun(dialog, folder, "0\t2");
        dialog.setSelection(kIdZoomOutLevel, 3);
        dialog.setText(kIdMovieWidth, "1920");
        dialog.setText(kIdMovieHeight, "1080");
        press(dialog, kIdStart);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.runInProgress(), 60000);
        QVERIFY(!dialog.lastOutcome()->done);
        QVERIFY(dialog.lastOutcome()->failureKind == RunFailureKind::kMovieTooLarge);
        QCOMPARE(dialog.text(kIdStatus), dialog.lastOutcome()->failure);
    }

    void testOnlyRunReportsAndEnds() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 3);
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.show();
        prepareTestOnlyRun(dialog, folder, "0\t4");
        dialog.setChecked(kIdShowZoomText, false);
        StatusRecorder status(dialog);

        press(dialog, kIdStart);
        QVERIFY(dialog.runInProgress());
        QCOMPARE(dialog.text(kIdStart), std::string("Stop"));
        QTRY_COMPARE_WITH_TIMEOUT(dialog.text(kIdStart), std::string("Start"), 60000);
        QVERIFY(!dialog.runInProgress());
        QVERIFY(!dialog.session().stopRequested());
        QVERIFY(messages.requests.empty());
        // The status line in the run's order: start, each key frame's picture, its frames,
        // the summary.
        QVERIFY(status.texts.size() >= 4);
        QCOMPARE(status.texts.front(), std::string("Start"));
        const auto firstImage = std::find_if(status.texts.begin(), status.texts.end(), [](auto& t) {
            return t.rfind("Create image M:", 0) == 0;
        });
        QVERIFY(firstImage != status.texts.end());
        QVERIFY(std::any_of(firstImage, status.texts.end(),
                            [](auto& t) { return t.rfind("M:", 0) == 0; }));
        QVERIFY(status.texts.back().rfind("Done! M:", 0) == 0);
        // Every frame went to the preview, and no movie file was written.
        QVERIFY(!dialog.preview().shownPicture().empty());
        QCOMPARE(dialog.preview().shownPicture().width(), dialog.preview().width());
        QVERIFY(QDir(folder.path()).entryList({"*.avi"}).isEmpty());
        // The value fields were written after the end notice.
        QVERIFY(!dialog.text(kIdCurrentCycle).empty());
    }

    void stopEndsTheRunAtTheNotice() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 3);
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.show();
        prepareTestOnlyRun(dialog, folder, "0\t100000");

        press(dialog, kIdStart);
        QTest::qWait(200);
        press(dialog, kIdStart);  // the second press only asks the run to stop
        QVERIFY(dialog.session().stopRequested() || !dialog.runInProgress());
        QTRY_COMPARE_WITH_TIMEOUT(dialog.text(kIdStart), std::string("Start"), 60000);
        QVERIFY(!dialog.session().stopRequested());
        QVERIFY(!dialog.runInProgress());
    }

    void closingTheDialogDuringARunEndsIt() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 3);
        {
            MainDialog dialog;
            MessageRecorder messages(dialog);
            dialog.show();
            prepareTestOnlyRun(dialog, folder, "0\t100000");
            press(dialog, kIdStart);
            QTest::qWait(100);
            QVERIFY(dialog.runInProgress());
        }
        // The run was stopped and waited for when the dialog went away.
    }

    void exitDuringARunAsksThenFinishesTheMovieFile() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 3);
        int framesInMovie = -1;
        {
            MainDialog dialog;
            MessageRecorder messages(dialog);
            dialog.setCompressorHook([](CompressorChoice&) { return true; });
            dialog.show();
            prepareTestOnlyRun(dialog, folder, "0\t100000");
            dialog.setChecked(kIdTestOnly, false);
            dialog.setChecked(kIdShowZoomText, false);
            StatusRecorder status(dialog);
            press(dialog, kIdStart);
            QTRY_VERIFY_WITH_TIMEOUT(dialog.text(kIdStatus).rfind("M:0,P:0,F:", 0) == 0, 60000);

            // Exit, the close box and Escape each ask; "No" leaves the run and the dialog be.
            messages.answers = {MessageAnswer::no, MessageAnswer::no, MessageAnswer::yes};
            press(dialog, kIdExit);
            dialog.close();
            QCOMPARE(messages.requests.size(), std::size_t{2});
            for (const MessageRequest& request : messages.requests) {
                QCOMPARE(request.title, std::string("Exit"));
                QVERIFY(request.buttons == MessageButtons::yesNo);
            }
            QVERIFY(dialog.isVisible());
            QVERIFY(dialog.runInProgress());
            QVERIFY(!dialog.session().stopRequested());

            // "Yes" stops the run as Stop does; the dialog ends once the run has ended.
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QCOMPARE(messages.requests.size(), std::size_t{3});
            QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 60000);
            QCOMPARE(dialog.result(), 0);
            QVERIFY(!dialog.runInProgress());
            const std::string& last = status.texts.back();
            QVERIFY2(std::sscanf(last.c_str(), "Done! M:0,P:%*d,F:%d", &framesInMovie) == 1,
                     last.c_str());
        }
        // The movie file under way was finished: it has its final name and every frame, and is
        // marked as short, so that nothing takes it for the whole movie.
        QVERIFY(framesInMovie >= 1);
        QCOMPARE(QDir(folder.path()).entryList({"*.avi*"}),
                 (QStringList{"film.avi", "film.avi.unfinished"}));
        QCOMPARE(movieFileFrameCount(folder.filePath("film.avi").toStdString()),
                 static_cast<long long>(framesInMovie));
    }

    void stopLeavesAMarkedFileThatTheNextStartMakesWhole() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 3);
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.setCompressorHook([](CompressorChoice&) { return true; });
        dialog.show();
        prepareTestOnlyRun(dialog, folder, "0\t600");
        dialog.setChecked(kIdTestOnly, false);
        dialog.setChecked(kIdShowZoomText, false);
        dialog.setText(kIdMovieWidth, "320");
        dialog.setText(kIdMovieHeight, "180");
        dialog.setText(kIdFramesPerMovie, "100000");
        press(dialog, kIdStart);
        // Stopped once frames are being written: the dialog shows the newest frame done, so any
        // frame's line will do (a run on a busy machine may pass a given key frame unseen).
        QTRY_VERIFY_WITH_TIMEOUT(dialog.text(kIdStatus).rfind("M:", 0) == 0, 60000);
        press(dialog, kIdStart);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.runInProgress(), 60000);
        const RenderOutcome stopped = *dialog.lastOutcome();
        QVERIFY(stopped.stopped);
        QVERIFY(!stopped.shortMovie.empty());
        const std::string film = folder.filePath("film.avi").toStdString();
        const std::string told =
            "Stopped: film.avi holds " + std::to_string(stopped.shortMovieFrames) + " of its " +
            std::to_string(stopped.shortMovieFramesDue) + " frames; the next Start makes it whole.";
        QVERIFY2(dialog.text(kIdStatus).find(told) != std::string::npos,
                 dialog.text(kIdStatus).c_str());
        const MovieRecordReading reading = readMovieRecord(film);
        QVERIFY(reading.record.has_value());
        QCOMPARE(reading.record->written, stopped.shortMovieFrames);
        QCOMPARE(reading.record->frames, stopped.shortMovieFramesDue);

        press(dialog, kIdStart);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.runInProgress(), 120000);
        QVERIFY(dialog.lastOutcome()->done);
        QVERIFY(!dialog.lastOutcome()->stopped);
        QCOMPARE(movieFileFrameCount(film), stopped.shortMovieFramesDue);
        QVERIFY(readMovieRecord(film).record->whole());
        QVERIFY(!QFile::exists(folder.filePath("film.avi.unfinished")));
    }

    void aFileTheProgramDidNotMakeIsReplacedOnlyWhenTheUserSaysSo() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 2);
        {
            QFile holiday(folder.filePath("film.avi"));
            QVERIFY(holiday.open(QIODevice::WriteOnly));
            holiday.write("holiday");
        }
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.setCompressorHook([](CompressorChoice&) { return true; });
        dialog.show();
        prepareTestOnlyRun(dialog, folder, "0\t3");
        dialog.setChecked(kIdTestOnly, false);
        messages.answers = {MessageAnswer::no};
        press(dialog, kIdStart);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.runInProgress(), 60000);
        QVERIFY(dialog.lastOutcome()->failureKind == RunFailureKind::kForeignFile);
        QCOMPARE(messages.requests.size(), std::size_t{1});
        QCOMPARE(messages.requests[0].title, std::string("Replace file?"));
        QCOMPARE(QFileInfo(folder.filePath("film.avi")).size(), qint64{7});

        press(dialog, kIdStart);  // answered "Yes" this time
        QTRY_VERIFY_WITH_TIMEOUT(
            !dialog.runInProgress() && dialog.lastOutcome()->failureKind == RunFailureKind::kNone,
            60000);
        QVERIFY(dialog.lastOutcome()->done);
        QVERIFY(readMovieRecord(folder.filePath("film.avi").toStdString()).record.has_value());
    }

    void anMp4MovieAsksForItsCodecAndCarriesTheChosenSound() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 2);
        writeTone(folder.filePath("tone.wav"));
        MainDialog dialog;
        MessageRecorder messages(dialog);
        prepareTestOnlyRun(dialog, folder, "0\t3");
        dialog.setChecked(kIdTestOnly, false);
        dialog.setChecked(kIdShowZoomText, false);

        // Files in the key frame folder are kept by their names; a sound file FFmpeg cannot
        // read and an extension of no container are refused.
        QVERIFY(!dialog.chooseMovieFile(folder.filePath("zoom.flv").toStdString()));
        QVERIFY(dialog.chooseMovieFile(folder.filePath("zoom.mp4").toStdString()));
        QCOMPARE(dialog.text(kIdMovieFile), std::string("zoom.mp4"));
        QVERIFY(dialog.chooseSoundFile("/elsewhere/none.ogg") == false);
        QVERIFY(dialog.chooseSoundFile(folder.filePath("tone.wav").toStdString()));
        QCOMPARE(dialog.text(kIdSoundFile), std::string("tone.wav"));
        QCOMPARE(messages.requests.size(), std::size_t{2});
        QVERIFY(messages.requests[0].text.find("zoom.flv") != std::string::npos);
        QVERIFY(messages.requests[1].text.rfind("The soundtrack \"/elsewhere/none.ogg\"", 0) == 0);

        std::vector<Container> asked;
        dialog.setVideoCodecHook([&asked](Container container, VideoCodecChoice& choice) {
            asked.push_back(container);
            choice = VideoCodecChoice{"h264", 30, "ultrafast", ""};
            return true;
        });
        press(dialog, kIdStart);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.text(kIdStart), std::string("Start"), 60000);
        QCOMPARE(asked.size(), std::size_t{1});
        QVERIFY(asked[0] == Container::kMp4);
        QCOMPARE(dialog.text(kIdCrf), std::string("30"));  // kept with the settings
        QCOMPARE(dialog.text(kIdPreset), std::string("ultrafast"));
        const std::string movie = folder.filePath("zoom.mp4").toStdString();
        QVERIFY(movieFileFrameCount(movie) > 3);
        SoundtrackInfo sound;
        std::string error;
        QVERIFY2(probeSoundtrack(movie, sound, error), error.c_str());
        QCOMPARE(sound.codecName, std::string("aac"));

        // Another container forgets the codec; a codec the container cannot hold stops Start
        // with a message before any file is made.
        QVERIFY(dialog.chooseMovieFile(folder.filePath("zoom.webm").toStdString()));
        QCOMPARE(dialog.text(kIdCrf), std::string());
        dialog.setVideoCodecHook([](Container, VideoCodecChoice& choice) {
            choice.codec = "h264";
            return true;
        });
        press(dialog, kIdStart);
        QVERIFY(!dialog.runInProgress());
        QCOMPARE(messages.requests.size(), std::size_t{3});
        QVERIFY2(messages.requests[2].text.find("zoom.webm") != std::string::npos,
                 messages.requests[2].text.c_str());
        QVERIFY(!QFile::exists(folder.filePath("zoom.webm")));
    }

    void customZoomAsksForTheZoomSize() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 2);
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.chooseFolder(folder.path().toStdString());
        dialog.setChecked(kIdTestOnly, true);
        dialog.clearLines(kIdSpeedList);
        dialog.addLine(kIdSpeedList, "0\t2");
        dialog.setSelection(kIdZoomOutLevel, 4);
        QCOMPARE(dialog.text(kIdZoomOutLevel), std::string("Custom..."));
        QTimer::singleShot(0, [] {
            auto* box = qobject_cast<ZoomSizeDialog*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            QCOMPARE(box->windowTitle(), QString("Zoom size(float value)"));
            QTest::keyClicks(box->edit(), "1.5");
            QTest::keyClick(box->edit(), Qt::Key_Return);  // "Start" is the default button
        });
        press(dialog, kIdStart);
        QCOMPARE(dialog.customZoomFactor(), 1.5);
        QTRY_COMPARE_WITH_TIMEOUT(dialog.text(kIdStart), std::string("Start"), 60000);
    }

    void testColorsOneKeyFrameIntoThePreview() {
        QTemporaryDir folder;
        writeKeyFrames(folder, 3);
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.show();
        dialog.chooseFolder(folder.path().toStdString());
        dialog.setText(kIdStartFrame, "1");
        press(dialog, kIdTest);
        QVERIFY(messages.requests.empty());
        QVERIFY(!dialog.preview().shownPicture().empty());
        QCOMPARE(dialog.text(kIdTest), std::string("Test"));

        dialog.setText(kIdStartFrame, "3");
        press(dialog, kIdTest);
        QCOMPARE(messages.requests.size(), std::size_t{1});
        QCOMPARE(messages.requests[0].text, std::string("No key frame to test"));
        QCOMPARE(messages.requests[0].title, std::string("Error"));
    }
};

QTEST_MAIN(RenderRunTest)
#include "render_run_test.moc"
