#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include "dialog_test_support.h"
#include "settings/setting_types.h"
#include "ui/list_controller.h"

using namespace zr;
using zr::testing::MessageRecorder;
using zr::testing::userSelectsLine;
using zr::testing::userTypes;

namespace {

void press(MainDialog& dialog, int id) {
    qobject_cast<QPushButton*>(dialog.control(id))->click();
}

bool isPrime(unsigned value) {
    if (value < 2) {
        return false;
    }
    for (unsigned m = 2; m < value; ++m) {
        if (value % m == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

class SpecListsTest : public QObject {
    Q_OBJECT
  private slots:
    void addUpdateRemoveAndSelection() {
        MainDialog dialog;
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        dialog.addLine(kIdSpeedList, "100\t30");
        // Add appends at the end, whatever the key frame numbers above it.
        userTypes(dialog, kIdSpeedKey, "10");
        userTypes(dialog, kIdSpeedValue, "25");
        press(dialog, kIdSpeedAdd);
        QCOMPARE(dialog.lines(kIdSpeedList),
                 (std::vector<std::string>{"0\t25", "100\t30", "10\t25"}));
        QCOMPARE(QApplication::focusWidget(), dialog.control(kIdSpeedKey));

        // Selecting a line fills the edits; Update replaces it in place, unselected.
        userSelectsLine(dialog, kIdSpeedList, 1);
        QCOMPARE(dialog.text(kIdSpeedKey), std::string("100"));
        QCOMPARE(dialog.text(kIdSpeedValue), std::string("30"));
        dialog.setText(kIdSpeedKey, "120");
        dialog.setText(kIdSpeedValue, "40");
        press(dialog, kIdSpeedUpdate);
        QCOMPARE(dialog.lines(kIdSpeedList),
                 (std::vector<std::string>{"0\t25", "120\t40", "10\t25"}));
        QCOMPARE(dialog.selection(kIdSpeedList), -1);

        // Update and Remove without a selected line change nothing, focus included.
        dialog.control(kIdSpeedValue)->setFocus();
        press(dialog, kIdSpeedUpdate);
        press(dialog, kIdSpeedRemove);
        QCOMPARE(dialog.lines(kIdSpeedList).size(), std::size_t{3});
        QCOMPARE(QApplication::focusWidget(), dialog.control(kIdSpeedValue));

        userSelectsLine(dialog, kIdSpeedList, 0);
        press(dialog, kIdSpeedRemove);
        QCOMPARE(dialog.lines(kIdSpeedList), (std::vector<std::string>{"120\t40", "10\t25"}));
        QCOMPARE(dialog.text(kIdSpeedKey), std::string("0"));  // the edits keep their texts

        // The other lists work alike; long waves have two values.
        dialog.setText(kIdRotateKey, "100");
        dialog.setText(kIdRotateValue, "0.5");
        press(dialog, kIdRotateAdd);
        QCOMPARE(dialog.lines(kIdRotateList), std::vector<std::string>{"100\t0.5"});
        dialog.addLine(kIdLongWaveList, "255,0,0\t1000\t50");
        userSelectsLine(dialog, kIdLongWaveList, 0);
        QCOMPARE(dialog.text(kIdLongWaveColorText), std::string("255,0,0"));
        QCOMPARE(dialog.text(kIdLongWavePeriod), std::string("1000"));
        QCOMPARE(dialog.text(kIdLongWavePercent), std::string("50"));
        // A line with fewer cells empties the edits it does not reach.
        dialog.addLine(kIdLongWaveList, "1,2,3");
        userSelectsLine(dialog, kIdLongWaveList, 1);
        QCOMPARE(dialog.text(kIdLongWavePeriod), std::string());
        QCOMPARE(dialog.text(kIdLongWavePercent), std::string());
    }

    void speedValueIsCheckedByMode_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("stored");
        QTest::newRow("speed 25.7") << 0 << "25.7" << true << "25";
        QTest::newRow("speed abc") << 0 << "abc" << true << "0";
        QTest::newRow("speed -3") << 0 << "-3" << true << "-3";
        QTest::newRow("time mm:ss") << 1 << "01:30" << true << "01:30";
        QTest::newRow("time hh:mm:ss") << 1 << "00:01:30" << true << "00:01:30";
        QTest::newRow("time 99:99") << 1 << "99:99" << true << "99:99";
        QTest::newRow("time 1:30") << 1 << "1:30" << false << "";
        QTest::newRow("time NS 01:30:0") << 2 << "01:30:0" << false << "";
        QTest::newRow("time NS 0130") << 2 << "0130" << false << "";
    }

    void speedValueIsCheckedByMode() {
        QFETCH(int, mode);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QFETCH(QString, stored);
        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.setSelection(kIdTimeType, mode);
        dialog.setText(kIdSpeedKey, "5");
        dialog.setText(kIdSpeedValue, typed.toStdString());
        press(dialog, kIdSpeedAdd);
        if (accepted) {
            QVERIFY(messages.requests.empty());
            QCOMPARE(dialog.lines(kIdSpeedList).back(), "5\t" + stored.toStdString());
        } else {
            QCOMPARE(dialog.lines(kIdSpeedList), std::vector<std::string>{"0\t25"});
            QCOMPARE(messages.requests.size(), std::size_t{1});
            QCOMPARE(messages.requests[0].title, std::string("Invalid Format"));
            QCOMPARE(messages.requests[0].text,
                     std::string("Invalid format.\nValid formats are:\nmm:ss\nhh:mm:ss"));
            QVERIFY(messages.requests[0].icon == MessageIcon::error);
            // Update is refused the same way, the line left as it was.
            userSelectsLine(dialog, kIdSpeedList, 0);
            dialog.setText(kIdSpeedValue, typed.toStdString());
            press(dialog, kIdSpeedUpdate);
            QCOMPARE(dialog.lines(kIdSpeedList), std::vector<std::string>{"0\t25"});
        }
    }

    void keyFrameMenuValues() {
        QCOMPARE(keyFrameMenuEntries().size(), std::size_t{9});
        const std::vector<int> expected = {0, 9, 5, 7, 8, 9, 9, 9};
        for (int entry = 0; entry < 8; ++entry) {
            QCOMPARE(keyFrameMenuValue(entry, 10), expected[entry]);
        }
        QCOMPARE(keyFrameMenuValue(1, 1), 0);
        QCOMPARE(keyFrameMenuValue(7, 2000000000), 1968750000);  // no overflow of 63 n

        MainDialog dialog;
        MessageRecorder messages(dialog);
        dialog.setKeyFrameCount(10);
        dialog.applyKeyFrameMenu(kIdRotateKey, 3);
        QCOMPARE(dialog.text(kIdRotateKey), std::string("7"));
        dialog.applyKeyFrameMenu(kIdColorCountKey, kKeyFrameMenuFromFileName, 10);
        QCOMPARE(dialog.text(kIdColorCountKey), std::string("0"));
        dialog.applyKeyFrameMenu(kIdColorCountKey, kKeyFrameMenuFromFileName, 4);
        QCOMPARE(dialog.text(kIdColorCountKey), std::string("6"));
        dialog.applyKeyFrameMenu(kIdColorCountKey, kKeyFrameMenuFromFileName, 11);
        QCOMPARE(dialog.text(kIdColorCountKey), std::string("6"));
        QCOMPARE(messages.requests.size(), std::size_t{1});
        QCOMPARE(messages.requests[0].text, std::string("Number not in the range of key-frames"));
        QCOMPARE(messages.requests[0].title, std::string("Error"));
    }

    void waveTypeLetterFollowsTypeAndLine() {
        MainDialog dialog;
        auto* types = qobject_cast<QComboBox*>(dialog.control(kIdWaveType));
        types->setCurrentIndex(3);
        emit types->activated(3);
        QCOMPARE(dialog.text(kIdWaveTypeLetter), std::string("W"));

        dialog.addLine(kIdWaveList, "B\t997");
        dialog.addLine(kIdWaveList, "X\t5");
        userSelectsLine(dialog, kIdWaveList, 0);
        QCOMPARE(dialog.selection(kIdWaveType), 2);
        QCOMPARE(dialog.text(kIdWaveTypeLetter), std::string("B"));
        QCOMPARE(dialog.text(kIdWavePeriod), std::string("997"));
        // An unknown letter leaves the type list alone; the edits still take the line.
        userSelectsLine(dialog, kIdWaveList, 1);
        QCOMPARE(dialog.selection(kIdWaveType), 2);
        QCOMPARE(dialog.text(kIdWaveTypeLetter), std::string("X"));

        dialog.setText(kIdWavePeriod, "100");
        dialog.setText(kIdWaveTypeLetter, "H");
        press(dialog, kIdWaveAdd);
        QCOMPARE(dialog.lines(kIdWaveList).back(), std::string("H\t100"));
    }

    void primeButtonAndSeed() {
        const std::vector<std::pair<const char*, const char*>> cases = {
            {"4", "3"},
            {"1", "1"},
            {"0", "0"},
            {"2", "2"},
            {"3", "3"},
            {"100", "97"},
            {"997", "997"},
            {"2000", "1999"},
            {"-7", "0"},
            {"abc", "0"},
            {"", ""},
            {"  ", "  "},
            {"4294967295", "4294967291"}};
        MainDialog dialog;
        for (const auto& [typed, prime] : cases) {
            dialog.setText(kIdWavePeriod, typed);
            press(dialog, kIdWavePrime);
            QCOMPARE(dialog.text(kIdWavePeriod), std::string(prime));
        }

        dialog.setText(kIdWavePeriod, "55");
        press(dialog, kIdWaveSeed);
        const std::vector<std::string> seeded = dialog.lines(kIdWaveList);
        QCOMPARE(seeded.size(), std::size_t{3});
        const char letters[] = {'H', 'S', 'B'};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(seeded[i].substr(0, 2), (std::string{letters[i], '\t'}));
            const unsigned period = readUnsigned(seeded[i].substr(2));
            QVERIFY(period < 2000);
            QVERIFY(period <= 1 || isPrime(period));
        }
        QCOMPARE(dialog.text(kIdWavePeriod), std::string("55"));  // edits untouched

        // The random numbers go through the prime search: 1999 stays, 1000 becomes 997.
        int next = 0;
        const int draws[] = {1999, 1000, 3999};
        const std::vector<std::string> lines = randomWaveLines([&] { return draws[next++]; });
        QCOMPARE(lines, (std::vector<std::string>{"H\t1999", "S\t997", "B\t1999"}));
    }

    void speedListChangesUpdateTheMovieLength() {
        MainDialog dialog;
        dialog.setKeyFrameCount(10);
        dialog.setText(kIdFps, "25");
        const std::string before = dialog.text(kIdMovieLength);
        userSelectsLine(dialog, kIdSpeedList, 0);
        dialog.setText(kIdSpeedValue, "100");
        press(dialog, kIdSpeedUpdate);
        QVERIFY(dialog.text(kIdMovieLength) != before);
    }
};

QTEST_MAIN(SpecListsTest)
#include "spec_lists_test.moc"
