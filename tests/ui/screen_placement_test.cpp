#include <QScreen>
#include <QtTest>
#include <vector>

#include "dialog_test_support.h"
#include "settings/setting_types.h"
#include "ui/window_placement.h"

using namespace zr;

namespace {

const QSize kDialog(912, 560);
const QSize kPreview(281, 170);
const QRect kLaptop(0, 0, 1366, 768);
const QRect kFullHd(0, 0, 1920, 1080);
const QRect kUhd(0, 0, 3840, 2160);

QScreen* screenNamed(const QString& name) {
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen->name() == name) {
            return screen;
        }
    }
    return nullptr;
}

}  // namespace

// Runs on screens side by side: 1366 x 768, 1920 x 1080 and 3840 x 2160 at a text scale of 1,
// then 1366 x 768 at 1.25 and 1.5, 1920 x 1080 and 3840 x 2160 at 2.
class ScreenPlacementTest : public QObject {
    Q_OBJECT
  private slots:
    void previewPosition_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("dialogAt");
        QTest::addColumn<QSize>("preview");
        QTest::addColumn<QPoint>("expected");
        // Centred together with the dialog, the preview sits at the dialog's right edge.
        for (const QRect& screen : {kLaptop, kFullHd, kUhd}) {
            const QPoint at = dialogPosition(kDialog, kPreview, screen);
            QTest::addRow("centred %dx%d", screen.width(), screen.height())
                << screen << at << kPreview << QPoint(at.x() + 912, at.y());
        }
        QTest::newRow("right edge: left side")
            << kLaptop << QPoint(1366 - 912, 100) << kPreview << QPoint(1366 - 912 - 281, 100);
        QTest::newRow("near the bottom: right side, moved up")
            << kFullHd << QPoint(100, 1000) << kPreview << QPoint(1012, 1080 - 170);
        QTest::newRow("no room at the sides: below")
            << kLaptop << QPoint(227, 0) << kPreview << QPoint(227, 560);
        QTest::newRow("no room at the sides or below: above")
            << kLaptop << QPoint(227, 200) << kPreview << QPoint(227, 30);
        QTest::newRow("no room anywhere: over the dialog's lower right corner")
            << kLaptop << QPoint(227, 100) << QSize(281, 200) << QPoint(227 + 912 - 281, 460);
        QTest::newRow("larger than the screen: its corner on the screen")
            << kLaptop << QPoint(227, 100) << QSize(2000, 1000) << QPoint(0, 0);
        QTest::newRow("partly off the screen to the right: brought back")
            << kLaptop << QPoint(1300, 100) << kPreview << QPoint(1300 - 281, 100);
    }

    void previewPosition() {
        QFETCH(QRect, screen);
        QFETCH(QPoint, dialogAt);
        QFETCH(QSize, preview);
        QFETCH(QPoint, expected);
        const QPoint at = zr::previewPosition(QRect(dialogAt, kDialog), preview, {screen}, screen);
        QCOMPARE(at, expected);
        if (preview.width() <= screen.width() && preview.height() <= screen.height()) {
            QVERIFY(screen.contains(QRect(at, preview)));
        }
    }

    void overTheDialogThePreviewLeavesItsStatusRowClear() {
        const QRect dialog(QPoint(227, 100), kDialog);
        const QPoint at = zr::previewPosition(dialog, QSize(281, 200), {kLaptop}, kLaptop, 40);
        QCOMPARE(at, QPoint(227 + 912 - 281, 100 + 560 - 40 - 200));
        // On a screen too low for that, the preview stays on the screen.
        const QRect low(0, 0, 1366, 500);
        const QPoint moved =
            zr::previewPosition(QRect(QPoint(227, -200), kDialog), QSize(281, 200), {low}, low, 40);
        QVERIFY(low.contains(QRect(moved, QSize(281, 200))));
    }

    void previewOnANeighbouringScreenStaysThere() {
        const QRect left(0, 0, 1366, 768);
        const QRect right(1366, 0, 1920, 1080);
        const QRect dialog(QPoint(1366 - 912, 0), kDialog);
        QCOMPARE(zr::previewPosition(dialog, kPreview, {left, right}, left), QPoint(1366, 0));
    }

    void dialogAloneIsCentredWhenThePairDoesNotFit() {
        QCOMPARE(dialogPosition(kDialog, QSize(500, 170), kLaptop), QPoint(227, 104));
        QCOMPARE(dialogPosition(kDialog, kPreview, kLaptop), QPoint(86, 104));
        // A dialog larger than the screen keeps its top-left corner on it.
        QCOMPARE(dialogPosition(QSize(1400, 800), kPreview, kLaptop), QPoint(0, 0));
    }

    // At any text scale the dialog fits the screen's available area (its settings scroll where
    // they must), Start and Exit are in view, and the preview is on the screen beside the
    // dialog, or over its lower right corner when there is no room, never over Start and Exit.
    void theDialogFitsAtEveryScale_data() {
        QTest::addColumn<QString>("screenName");
        QTest::newRow("1366x768 at 1") << "Laptop";
        QTest::newRow("1366x768 at 1.25") << "Laptop125";
        QTest::newRow("1366x768 at 1.5") << "Laptop150";
        QTest::newRow("1920x1080 at 1") << "FullHd";
        QTest::newRow("1920x1080 at 2") << "FullHd200";
        QTest::newRow("3840x2160 at 1") << "Uhd";
        QTest::newRow("3840x2160 at 2") << "Uhd200";
    }

    void theDialogFitsAtEveryScale() {
        QFETCH(QString, screenName);
        QScreen* screen = screenNamed(screenName);
        QVERIFY(screen != nullptr);
        const QRect available = screen->availableGeometry();
        MainDialog dialog;
        dialog.centreOn(*screen);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::qWait(50);  // the preview is placed again once the dialog's frame is known
        const QRect frame = dialog.frameGeometry();
        const QRect preview = dialog.preview().frameGeometry();
        QVERIFY2(available.contains(frame), qPrintable(QString("dialog %1,%2 %3x%4")
                                                           .arg(frame.x())
                                                           .arg(frame.y())
                                                           .arg(frame.width())
                                                           .arg(frame.height())));
        QVERIFY(available.contains(preview));
        for (const int id : {kIdStart, kIdExit}) {
            const QWidget* button = dialog.control(id);
            const QRect place(button->mapToGlobal(QPoint(0, 0)), button->size());
            QVERIFY(dialog.geometry().contains(place));
            QVERIFY(!preview.intersects(place));
        }
        if (frame.width() + preview.width() <= available.width()) {
            QVERIFY(!preview.intersects(frame));
        }
    }

    void theDialogAndItsPreviewOnEachScreen_data() {
        QTest::addColumn<QString>("screenName");
        QTest::newRow("1366x768") << "Laptop";
        QTest::newRow("1920x1080") << "FullHd";
        QTest::newRow("3840x2160") << "Uhd";
    }

    void theDialogAndItsPreviewOnEachScreen() {
        QFETCH(QString, screenName);
        QScreen* screen = screenNamed(screenName);
        QVERIFY(screen != nullptr);
        const QRect available = screen->availableGeometry();
        {
            MainDialog dialog;
            dialog.centreOn(*screen);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            const QRect frame = dialog.frameGeometry();
            QTRY_COMPARE(dialog.preview().frameGeometry().topLeft(),
                         QPoint(frame.right() + 1, frame.top()));
            QVERIFY(available.contains(frame));
            QVERIFY(available.contains(dialog.preview().frameGeometry()));
        }
        {
            // At the screen's right edge the preview goes to the left of the dialog.
            MainDialog dialog;
            dialog.adjustSize();
            dialog.move(available.right() - 10 - dialog.width(), available.top());
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            const QRect frame = dialog.frameGeometry();
            QTRY_COMPARE(dialog.preview().frameGeometry().topRight(),
                         QPoint(frame.left() - 1, frame.top()));
            QVERIFY(available.contains(dialog.preview().frameGeometry()));
        }
    }
};

QTEST_MAIN(ScreenPlacementTest)
#include "screen_placement_test.moc"
