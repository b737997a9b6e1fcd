// The timeline under the preview: it follows the controls, shows any frame exactly as the render
// makes it, plays, and leaves a render under way alone.

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <cstdint>
#include <fstream>

#include "coloring/scale_image.h"
#include "dialog_test_support.h"
#include "keyframes/key_frame_writer.h"
#include "movie/frame_loop.h"
#include "movie/frame_renderer.h"
#include "movie/movie_length.h"
#include "movie/plan.h"
#include "movie/render_session.h"
#include "settings/setting_types.h"
#include "ui/scrubber.h"
#include "ui/soundtrack_player.h"

using namespace zr;

namespace {

void writeKeyFrames(const QTemporaryDir& folder, int count) {
    for (int k = 1; k <= count; ++k) {
        KeyFrameFileData data = KeyFrameFileData::uniform(64, 36, 0);
        for (int y = 0; y < 36; ++y) {
            for (int x = 0; x < 64; ++x) {
                data.setPixel(x, y, 5 + (x * y + 3 * k) % 60, 0.25f);
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

// What the preview shows of frame `frame` of the movie the dialog describes, made alone from the
// colours a run started now takes.
FrameImage expectedPicture(MainDialog& dialog, long long frame) {
    MovieRun run;
    run.spec = buildMovieSpec(dialog).spec;
    run.keyFrames = listRunKeyFrames(run.spec);
    RenderSession alone;
    alone.colors = dialog.session().colors;
    const OptionalImage picture = renderMovieFrame(run, alone, frame);
    if (!picture) {
        return FrameImage();
    }
    const QSize size = PreviewPicture::fitted(QSize(picture->width(), picture->height()),
                                              dialog.preview().picture().size());
    return scaleImage(*picture, size.width(), size.height());
}

// One second of a 440 Hz tone, 16-bit mono PCM at 22050 Hz, as a WAV file.
void writeTone(const QString& path) {
    const int rate = 22050;
    std::vector<std::int16_t> samples(rate);
    for (int i = 0; i < rate; ++i) {
        samples[i] = static_cast<std::int16_t>(8000.0 * std::sin(i * 2 * 3.14159265 * 440 / rate));
    }
    const auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::ofstream file(path.toStdString(), std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { file.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { file.write(reinterpret_cast<const char*>(&v), 2); };
    file.write("RIFF", 4);
    put32(36 + bytes);
    file.write("WAVEfmt ", 8);
    put32(16);
    put16(1);  // PCM
    put16(1);  // mono
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    file.write("data", 4);
    put32(bytes);
    file.write(reinterpret_cast<const char*>(samples.data()), bytes);
}

}  // namespace

class ScrubberTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        writeKeyFrames(*folder_, 4);
        dialog_ = std::make_unique<MainDialog>();
        dialog_->show();
        dialog_->chooseFolder(folder_->path().toStdString());
        dialog_->clearLines(kIdSpeedList);
        dialog_->addLine(kIdSpeedList, "0\t9");
        dialog_->addLine(kIdCycleList, "1\t2");
    }
    void cleanup() {
        dialog_.reset();
        folder_.reset();
    }

    void followsTheControlsWithKeyFramesAndTimeStamps() {
        Scrubber& scrubber = dialog_->preview().scrubber();
        const auto planned = [&] {
            return planMovie(buildMovieSpec(*dialog_).spec, 4)->totalFrames;
        };
        QTRY_VERIFY(scrubber.movieReady() && scrubber.frameCount() == planned());
        QCOMPARE(scrubber.bar().keyFrameStarts(), (std::vector<long long>{0, 9, 18, 27}));
        QVERIFY(scrubber.bar().stampFrames().empty());

        dialog_->setSelection(kIdTimeType, kTimeTypeTime);
        dialog_->clearLines(kIdSpeedList);
        dialog_->addLine(kIdSpeedList, "0\t00:00");
        dialog_->addLine(kIdSpeedList, "2\t00:02");
        QTRY_VERIFY(scrubber.movieReady() && scrubber.frameCount() == planned());
        QCOMPARE(scrubber.bar().stampFrames(), (std::vector<long long>{0, 60}));
        QCOMPARE(scrubber.bar().keyFrameStarts()[2], 60);
    }

    void draggingShowsTheFrameUnderThePointerAsTheRenderMakesIt() {
        Scrubber& scrubber = dialog_->preview().scrubber();
        QTRY_VERIFY(scrubber.movieReady());
        TimelineBar& bar = scrubber.bar();
        const int x = bar.xOf(22);
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(bar.xOf(5), 5));
        QTest::mouseMove(&bar, QPoint(x, 5));
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(x, 5));
        const long long frame = bar.frameAt(x);
        QCOMPARE(scrubber.shownFrame(), frame);
        const FrameImage expected = expectedPicture(*dialog_, frame);
        QTRY_VERIFY(dialog_->preview().shownPicture() == expected);
        QVERIFY(scrubber.frameText().startsWith(QString("Frame %1 of").arg(frame)));

        // A changed setting shows the same frame made anew.
        dialog_->setText(kIdStartCycle, "300");
        const FrameImage recolored = expectedPicture(*dialog_, frame);
        QVERIFY(!(recolored == expected));
        QTRY_VERIFY(dialog_->preview().shownPicture() == recolored);

        // Test's key frame stays in the preview, through the colours it leaves, until a setting
        // changes.
        dialog_->testKeyFrame();
        QVERIFY(scrubber.pictureHeld());
        const FrameImage tested = dialog_->preview().shownPicture();
        QTest::qWait(400);
        QVERIFY(dialog_->preview().shownPicture() == tested);
        dialog_->setText(kIdStartCycle, "200");
        QVERIFY(!scrubber.pictureHeld());
        QTRY_VERIFY(dialog_->preview().shownPicture() == expectedPicture(*dialog_, frame));

        // The keys step a frame and a key frame.
        QTest::keyClick(&bar, Qt::Key_PageDown);
        QCOMPARE(scrubber.shownFrame(), 27);
        QTest::keyClick(&bar, Qt::Key_Left);
        QCOMPARE(scrubber.shownFrame(), 26);
        QTRY_VERIFY(dialog_->preview().shownPicture() == expectedPicture(*dialog_, 26));
    }

    void playsToTheEndAndPlaysTheSoundFromThePlaceShown() {
        Scrubber& scrubber = dialog_->preview().scrubber();
        QTRY_VERIFY(scrubber.movieReady());
        scrubber.setSound(PlaybackSound{folder_->filePath("sound.wav").toStdString(), 0.25});
        const long long last = scrubber.frameCount() - 1;
        scrubber.showFrame(last - 20);
        scrubber.playButton().click();
        QVERIFY(scrubber.playing());
        QVERIFY(scrubber.playbackText().startsWith("Playing"));
        QVERIFY(scrubber.sound() != nullptr);
        QCOMPARE(scrubber.sound()->startedAt(), (last - 20) / 30.0 - 0.25);
        QTRY_VERIFY_WITH_TIMEOUT(!scrubber.playing(), 10000);
        QCOMPARE(scrubber.shownFrame(), last);
        QCOMPARE(scrubber.playButton().text(), QString("Play"));

        // Played from the end, it starts again; Pause stops it where it is.
        scrubber.play();
        QVERIFY(scrubber.playing());
        scrubber.pause();
        const long long stopped = scrubber.shownFrame();
        QTest::qWait(200);
        QCOMPARE(scrubber.shownFrame(), stopped);
    }

    void playWithASoundtrackAndNoSoundDevicePlaysSilently() {
        // Under the offscreen platform of the tests there is no sound device: the movie plays
        // on without sound, and says so.
        Scrubber& scrubber = dialog_->preview().scrubber();
        QTRY_VERIFY(scrubber.movieReady());
        writeTone(folder_->filePath("tone.wav"));
        dialog_->setText(kIdSoundFile, "tone.wav");
        QTRY_VERIFY(scrubber.sound() != nullptr);
        // The new sound makes the timeline take up the movie again; Play counts once it has.
        QTRY_VERIFY(scrubber.movieReady());
        scrubber.showFrame(0);
        QTRY_VERIFY([&scrubber] {
            if (!scrubber.playing()) {
                scrubber.playButton().click();
            }
            return scrubber.playing();
        }());
        QTest::qWait(600);  // long enough for an audio thread to write what it has
        const QString silent = scrubber.sound()->silent();
        if (!silent.isEmpty()) {
            QVERIFY(scrubber.playbackText().contains("without sound: " + silent));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!scrubber.playing(), 10000);
        QCOMPARE(scrubber.shownFrame(), scrubber.frameCount() - 1);
    }

    void thePreviewKeepsTheFramesShapeAtEverySize() {
        QCOMPARE(PreviewPicture::fitted(QSize(1920, 1080), QSize(279, 164)), QSize(279, 157));
        QCOMPARE(PreviewPicture::fitted(QSize(1920, 1080), QSize(400, 560)), QSize(400, 225));
        QCOMPARE(PreviewPicture::fitted(QSize(1920, 1080), QSize(900, 200)), QSize(356, 200));
        QCOMPARE(PreviewPicture::fitted(QSize(64, 36), QSize(0, 200)), QSize());

        Scrubber& scrubber = dialog_->preview().scrubber();
        QTRY_VERIFY(scrubber.movieReady());
        PreviewWindow& preview = dialog_->preview();
        scrubber.showFrame(7);
        QTRY_VERIFY(preview.shownPicture() == expectedPicture(*dialog_, 7));
        for (const QSize size : {QSize(400, 600), QSize(900, 200), QSize(300, 300)}) {
            preview.resize(size);
            // At once, without a new frame from the timeline.
            const QSize area = preview.picture().size();
            const FrameImage& shown = preview.shownPicture();
            QCOMPARE(QSize(shown.width(), shown.height()), PreviewPicture::fitted({64, 36}, area));
            QVERIFY(shown.width() == area.width() || shown.height() == area.height());
            QVERIFY(std::abs(shown.width() * 36 - shown.height() * 64) <= 64);
            QVERIFY(shown == expectedPicture(*dialog_, 7));
            QCOMPARE(preview.picture().pictureRect().center(), preview.picture().rect().center());
        }

        // The close box hides the preview; Test shows it again.
        preview.close();
        QVERIFY(!preview.isVisible());
        dialog_->testKeyFrame();
        QVERIFY(preview.isVisible());
    }

    void movieLengthIsThePlannedMovieLength() {
        const auto planned = [&] {
            return planMovie(buildMovieSpec(*dialog_).spec, 4)->totalFrames;
        };
        const auto length = [&] { return dialog_->text(kIdMovieLength); };
        QTRY_COMPARE(length(), formatMovieTime(planned(), 30));
        // The speed list's estimate leaves out the last key frame.
        QVERIFY(length() != movieLengthEstimate(dialog_->lines(kIdSpeedList), 4, 30));

        const std::string before = length();
        dialog_->clearLines(kIdSpeedList);
        dialog_->addLine(kIdSpeedList, "0\t9");
        dialog_->addLine(kIdSpeedList, "2\t40");
        QTRY_COMPARE(length(), formatMovieTime(planned(), 30));
        QVERIFY(length() != before);

        dialog_->setText(kIdFps, "25");
        QTRY_COMPARE(length(), formatMovieTime(planned(), 25));
    }

    void spaceAndF6WorkTheTimelineFromTheKeyboard() {
        Scrubber& scrubber = dialog_->preview().scrubber();
        QTRY_VERIFY(scrubber.movieReady());
        dialog_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
        QTest::keyClick(dialog_.get(), Qt::Key_F6);
        QTRY_VERIFY(scrubber.bar().hasFocus());
        QTest::keyClick(&scrubber.bar(), Qt::Key_End);
        QCOMPARE(scrubber.shownFrame(), scrubber.frameCount() - 1);
        QTest::keyClick(&scrubber.bar(), Qt::Key_Home);
        QCOMPARE(scrubber.shownFrame(), 0);
        QTest::keyClick(&scrubber.bar(), Qt::Key_Space);
        QVERIFY(scrubber.playing());
        QTest::keyClick(&scrubber.bar(), Qt::Key_Space);
        QVERIFY(!scrubber.playing());
    }

    void aRenderAndTheTimelineLeaveEachOtherAlone() {
        Scrubber& scrubber = dialog_->preview().scrubber();
        QTRY_VERIFY(scrubber.movieReady());
        dialog_->setChecked(kIdTestOnly, true);
        qobject_cast<QPushButton*>(dialog_->control(kIdStart))->click();
        QVERIFY(dialog_->runInProgress());
        QVERIFY(scrubber.followingRender());
        // Using the timeline takes the preview; the render's frames no longer reach it.
        scrubber.showFrame(13);
        QVERIFY(!scrubber.followingRender());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog_->runInProgress(), 20000);
        QVERIFY(dialog_->text(kIdStatus).starts_with("Done!"));
        // The timeline's movie starts from the colours the run left, as the next run does.
        QTRY_VERIFY(dialog_->preview().shownPicture() == expectedPicture(*dialog_, 13));
    }

  private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<MainDialog> dialog_;
};

QTEST_MAIN(ScrubberTest)
#include "scrubber_test.moc"
