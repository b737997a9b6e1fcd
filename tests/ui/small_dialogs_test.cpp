#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>

#include "ui/compressor_dialog.h"
#include "ui/main_dialog.h"
#include "ui/small_dialogs.h"

using namespace zr;

namespace {

VideoCodecChoice codecAlone(const char* codec) {
    VideoCodecChoice choice;
    choice.codec = codec;
    return choice;
}

}  // namespace

class SmallDialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void savedNamesGetTheFilterExtension() {
        QCOMPARE(withDefaultExtension("movie", "*.zrs"), std::string("movie.zrs"));
        QCOMPARE(withDefaultExtension("movie.old", "*.zrs"), std::string("movie.old"));
        QCOMPARE(withDefaultExtension("/home/a.b/movie", "*.zrs"),
                 std::string("/home/a.b/movie.zrs"));
        QCOMPARE(withDefaultExtension("C:\\a.b\\movie", "*.zrs"),
                 std::string("C:\\a.b\\movie.zrs"));
        QCOMPARE(withDefaultExtension("x", "*.jpg;*.jpeg"), std::string("x.jpg"));
        QCOMPARE(withDefaultExtension("x", "README"), std::string("xREADME"));
        QCOMPARE(fileDialogFilter("Jpeg images", "*.jpg;*.jpeg"),
                 QString("Jpeg images (*.jpg *.jpeg)"));
    }

    void zoomSizeKeepsTwentyFourCharacters() {
        ZoomSizeDialog dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QString("Zoom size(float value)"));
        QTest::keyClicks(dialog.edit(), "1.234567890123456789012345678e10");
        QCOMPARE(dialog.text(), std::string("1.2345678901234567890123"));
    }

    void fileNameNumberTakesDigitsOnly() {
        FileNameNumberDialog dialog(nullptr);
        QCOMPARE(dialog.windowTitle(), QString("File name number"));
        QTest::keyClicks(dialog.edit(), "1a2-3");
        QCOMPARE(dialog.edit()->text(), QString("123"));
        QCOMPARE(dialog.number(), 123);
        dialog.edit()->setText("");
        QCOMPARE(dialog.number(), 0);
    }

    void compressorDialogOffersAndReturnsTheChoice() {
        const std::vector<CompressorOffer> offers = {{"MSVC", "Microsoft Video 1"},
                                                     {"MJPG", "Motion JPEG"}};
        CompressorChoice start;
        start.fourcc = "MSVC";
        start.keyFrameEvery = 5;
        start.quality = 7300;  // the writer's hundredths: 73 on the dialog's scale
        CompressorDialog dialog(nullptr, offers, start);
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("V\u00e4lj Codec"));
        QCOMPARE(dialog.compressorList()->count(), 2);
        QCOMPARE(dialog.compressorList()->currentIndex(), 0);
        QCOMPARE(dialog.keyFrameEdit()->value(), 5);
        QCOMPARE(dialog.qualityEdit()->value(), 73);
        QCOMPARE(dialog.qualityEdit()->maximum(), 100);
        dialog.compressorList()->setCurrentIndex(1);
        dialog.keyFrameEdit()->setValue(12);
        dialog.qualityEdit()->setValue(70);
        const CompressorChoice chosen = dialog.choice();
        QCOMPARE(chosen.fourcc, std::string("MJPG"));
        QCOMPARE(chosen.keyFrameEvery, 12);
        QCOMPARE(chosen.quality, 7000);

        // A compressor this build does not write selects Motion JPEG.
        start.fourcc = "XVID";
        CompressorDialog unknown(nullptr, offers, start);
        QCOMPARE(unknown.compressorList()->currentIndex(), 1);
    }

    void theDialogPreselectsMotionJpegThenTheUsersChoice() {
        MainDialog dialog;
        std::vector<CompressorChoice> shown;
        dialog.setCompressorHook([&](CompressorChoice& choice) {
            shown.push_back(choice);
            choice.fourcc = "DIB ";
            choice.quality = 6000;
            return true;
        });
        // What the writer asks with: its own fallback and preset.
        CompressorChoice asked;
        asked.fourcc = "MSVC";
        asked.quality = 8500;
        CompressorChoice choice = asked;
        QVERIFY(dialog.chooseCompressor(choice));
        QCOMPARE(shown.at(0).fourcc, std::string("MJPG"));
        QCOMPARE(shown.at(0).quality, 8500);
        QCOMPARE(choice.fourcc, std::string("DIB "));
        // The next run's dialog opens at what the user chose.
        choice = asked;
        QVERIFY(dialog.chooseCompressor(choice));
        QCOMPARE(shown.at(1).fourcc, std::string("DIB "));
        QCOMPARE(shown.at(1).quality, 6000);

        // Cancelled, the writer's values stay.
        MainDialog cancelled;
        cancelled.setCompressorHook([](CompressorChoice& choice) {
            choice.fourcc = "DIB ";
            return false;
        });
        choice = asked;
        QVERIFY(!cancelled.chooseCompressor(choice));
        QCOMPARE(choice.fourcc, std::string("MSVC"));
    }

    void cancellingTheCompressorDialogKeepsTheWritersValues() {
        CompressorChoice choice;
        choice.fourcc = "MSVC";
        choice.keyFrameEvery = 1;
        choice.quality = 100;
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                static_cast<QDialog*>(modal)->reject();
            }
        });
        QVERIFY(!chooseCompressor(nullptr, choice));
        QCOMPARE(choice.fourcc, std::string("MSVC"));
        QCOMPARE(choice.keyFrameEvery, 1);
        QCOMPARE(choice.quality, 100);

        // Confirming takes the quality shown, in the writer's hundredths.
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                static_cast<QDialog*>(modal)->accept();
            }
        });
        if (writableCompressors().empty()) {
            QSKIP("this FFmpeg build writes no compressor");
        }
        choice.quality = 8500;
        QVERIFY(chooseCompressor(nullptr, choice));
        QCOMPARE(choice.quality, 8500);
        QCOMPARE(choice.fourcc, std::string("MSVC"));
    }

    void codecDialogOffersTheContainersCodecs() {
        const auto names = [](const VideoCodecDialog& dialog) {
            QStringList items;
            for (int i = 0; i < dialog.codecList()->count(); ++i) {
                items << dialog.codecList()->itemText(i).section('(', -1).chopped(1);
            }
            return items;
        };
        // WebM holds no H.264; a new dialog starts at the container's own codec.
        VideoCodecDialog webm(nullptr, Container::kWebm, VideoCodecChoice{});
        QVERIFY(names(webm).contains("vp9"));
        QVERIFY(!names(webm).contains("h264"));
        QCOMPARE(webm.choice(), codecAlone("vp9"));

        const VideoCodecChoice start{"h265", 20, "slow", "yuv444p"};
        VideoCodecDialog mp4(nullptr, Container::kMp4, start);
        QVERIFY(names(mp4).contains("h264"));
        QVERIFY(!names(mp4).contains("vp9"));
        QCOMPARE(mp4.choice(), start);
        QCOMPARE(mp4.crfEdit()->maximum(), 51);
        // Another codec starts at its own defaults.
        mp4.codecList()->setCurrentIndex(names(mp4).indexOf("h264"));
        QCOMPARE(mp4.choice(), codecAlone("h264"));
        mp4.crfEdit()->setValue(0);
        QCOMPARE(mp4.choice().crf, 0);

        // FFV1 has neither a quality scale nor presets.
        VideoCodecDialog mkv(nullptr, Container::kMkv, VideoCodecChoice{"ffv1", 12, "fast", ""});
        QVERIFY(!mkv.crfEdit()->isEnabled());
        QVERIFY(!mkv.presetList()->isEnabled());
        QCOMPARE(mkv.choice(), codecAlone("ffv1"));
    }
};

QTEST_MAIN(SmallDialogsTest)
#include "small_dialogs_test.moc"
