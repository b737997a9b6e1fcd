#include <QFontMetrics>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include "dialog_test_support.h"
#include "settings/setting_types.h"
#include "ui/balloon_tooltips.h"

using namespace zr;

namespace {

QPoint centreOf(const QWidget* widget) {
    return widget->mapToGlobal(widget->rect().center());
}

}  // namespace

class TooltipsTest : public QObject {
    Q_OBJECT
  private slots:
    void textsAreWordForWord() {
        QCOMPARE(tooltipText(1, 0), std::string("Start or Stop the render!"));
        QCOMPARE(tooltipText(1000, 0),
                 std::string("The folder of the ZMB files.\nThe AVI files will also be stored in "
                             "this folder."));
        QCOMPARE(tooltipText(1018, 0),
                 std::string("Speed or Time\nIf Speed is selected, the number of movie frames "
                             "per Key Frame is specicifed\nIf Time is selected, the time stamp "
                             "for specified Key Frame is specified\nIf Time NS is selected, speed "
                             "transitions is not smooth, enabling better control\nThe format of "
                             "timestamps are [hh:]mm:ss, where [hh:] is optional"));
        QCOMPARE(tooltipText(1094, 0), std::string("Period lenght of the color wave"));
        QCOMPARE(tooltipText(1078, 0),
                 std::string("Change the period wave to the nearest higher prime value"));
        QCOMPARE(tooltipText(1119, 0), std::string("Dump movie frames as jpeg images"));
        // Controls without a text, and other dialogs, have none.
        for (int id : {1009, 1023, 1036, 1063, 1065, 1071, 1077, 1092, -1}) {
            QCOMPARE(tooltipText(id, 0), std::string());
        }
        QCOMPARE(tooltipText(1, 1), std::string());
        // Every text fits the 15120-byte buffer of the balloon.
        for (int id = 0; id < 1200; ++id) {
            QVERIFY(tooltipText(id, 0).size() < 15120);
        }
    }

    void placementKeepsTheBalloonOnTheDesktop() {
        const QRect desktop(0, 0, 1000, 800);
        BalloonPlacement place = placeBalloon(QPoint(100, 100), QSize(200, 30), desktop);
        QCOMPARE(place.balloon, QRect(115, 115, 220, 50));
        QCOMPARE(place.shadow, QRect(125, 119, 216, 50));
        place = placeBalloon(QPoint(900, 790), QSize(200, 30), desktop);
        QCOMPARE(place.balloon.topLeft(), QPoint(1000 - 200 - 35 + 15, 800 - 30 - 45 + 15));
        QVERIFY(desktop.contains(place.balloon));
        // Exactly at the limit nothing moves.
        place = placeBalloon(QPoint(773, 743), QSize(200, 30), desktop);
        QCOMPARE(place.balloon.topLeft(), QPoint(788, 758));

        // The outline: the pointer's tip is the top-left pixel, the body starts 10 down.
        const QRegion region = balloonRegion(220, 50);
        QVERIFY(region.contains(QPoint(1, 2)));
        QVERIFY(region.contains(QPoint(110, 30)));
        QVERIFY(!region.contains(QPoint(200, 2)));
        QVERIFY(!region.contains(QPoint(219, 11)));  // a rounded corner
    }

    void hoveringShowsAndHidesTheBalloon() {
        MainDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto& tooltips = const_cast<BalloonTooltips&>(dialog.tooltips());
        const QWidget* start = dialog.control(kIdStart);

        tooltips.poll(centreOf(start));
        QVERIFY(tooltips.showing());
        QCOMPARE(tooltips.shownText(), QString("Start or Stop the render!"));
        QVERIFY(tooltips.balloon().isVisible());
        QVERIFY(tooltips.shadow().isVisible());
        QCOMPARE(tooltips.balloon().pos(), centreOf(start) + QPoint(15, 15));
        QCOMPARE(tooltips.shadow().pos(), centreOf(start) + QPoint(25, 19));
        tooltips.poll(centreOf(start) + QPoint(1, 1));  // resting on it changes nothing
        QVERIFY(tooltips.showing());

        // Another control: one tick hides, the next shows its text.
        const QWidget* exit = dialog.control(kIdExit);
        tooltips.poll(centreOf(exit));
        QVERIFY(!tooltips.showing());
        QVERIFY(!tooltips.balloon().isVisible());
        tooltips.poll(centreOf(exit));
        QCOMPARE(tooltips.shownText(), QString("Exit the program"));

        // A list box is found through its viewport; a multi-line text makes a taller balloon.
        tooltips.poll(centreOf(dialog.control(kIdSpeedList)));
        tooltips.poll(centreOf(dialog.control(kIdSpeedList)));
        QCOMPARE(tooltips.shownText(), QString("List of speed/time specifications"));
        const int oneLine = tooltips.balloon().height();
        tooltips.poll(centreOf(dialog.control(kIdTimeType)));
        tooltips.poll(centreOf(dialog.control(kIdTimeType)));
        QVERIFY(tooltips.shownText().startsWith("Speed or Time\n"));
        QVERIFY(tooltips.balloon().height() >=
                oneLine + 4 * QFontMetrics(QApplication::font()).lineSpacing());

        // A group box has no text: moving onto it hides the balloon and shows nothing.
        const QWidget* group = dialog.control(kIdSpeedGroup);
        const QPoint groupTitle = group->mapToGlobal(QPoint(group->width() - 4, 4));
        tooltips.poll(groupTitle);
        tooltips.poll(groupTitle);
        QVERIFY(!tooltips.showing());

        // A disabled control shows nothing.
        dialog.control(kIdFont)->setEnabled(false);
        tooltips.poll(centreOf(dialog.control(kIdFont)));
        QVERIFY(!tooltips.showing());
        dialog.control(kIdFont)->setEnabled(true);
        tooltips.poll(centreOf(dialog.control(kIdFont)));
        QCOMPARE(tooltips.shownText(),
                 QString("Select font to be used to display Zoom level text"));
    }

    void balloonsHideWhileAMenuIsOpen() {
        MainDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto& tooltips = const_cast<BalloonTooltips&>(dialog.tooltips());
        auto* frameNum = qobject_cast<QPushButton*>(dialog.control(kIdSpeedFrameNum));
        tooltips.poll(centreOf(frameNum));
        QCOMPARE(tooltips.shownText(), QString("Select a predefined Key Frame"));

        // The key frame menu opens under the button, where the balloon would cover "First"
        // and "Last": while it is open no balloon shows, with the cursor still on the button.
        bool menuSeen = false;
        bool shownWithMenu = true;
        QTimer::singleShot(0, [&] {
            QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            menuSeen = menu != nullptr;
            tooltips.poll(centreOf(frameNum));
            tooltips.poll(centreOf(frameNum));
            shownWithMenu = tooltips.showing() || tooltips.balloon().isVisible();
            if (menu != nullptr) {
                menu->close();
            }
        });
        frameNum->click();
        QVERIFY(menuSeen);
        QVERIFY(!shownWithMenu);
        // Closed, the balloon comes back.
        tooltips.poll(centreOf(frameNum));
        QVERIFY(tooltips.showing());
    }

    void theTimerPollsTheCursor() {
        MainDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCursor::setPos(centreOf(dialog.control(kIdBrowseFolder)));
        QTRY_VERIFY_WITH_TIMEOUT(dialog.tooltips().showing(), 2000);
        QCOMPARE(dialog.tooltips().shownText(), QString("Browse for folder"));
    }
};

QTEST_MAIN(TooltipsTest)
#include "tooltips_test.moc"
