#include "toolkit/OnOffSwitch.h"
#include "toolkit/TrayClickSorter.h"
#include "toolkit/TypingLimit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

class TestToolkit : public QObject
{
    Q_OBJECT

private slots:
    void singleClickReportedAfterTheInterval();
    void doubleClickIsNoClick();
    void eachButtonCounts_data();
    void eachButtonCounts();
    void clicksFarApartAreTwoClicks();
    void switchReportsOnlyUserChanges();
    void typingLimitStopsTypingNotDeleting();
};

void TestToolkit::singleClickReportedAfterTheInterval()
{
    TrayClickSorter sorter(80);
    QSignalSpy clicks(&sorter, &TrayClickSorter::clicked);
    QSignalSpy doubles(&sorter, &TrayClickSorter::doubleClicked);
    sorter.press(Qt::LeftButton);
    QCOMPARE(clicks.count(), 0); // not before the double-click time has passed
    QVERIFY(clicks.wait(1000));
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.first().first().value<Qt::MouseButton>(), Qt::LeftButton);
    QTest::qWait(150);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(doubles.count(), 0);
}

void TestToolkit::doubleClickIsNoClick()
{
    TrayClickSorter sorter(80);
    QSignalSpy clicks(&sorter, &TrayClickSorter::clicked);
    QSignalSpy doubles(&sorter, &TrayClickSorter::doubleClicked);
    // The tray reports a double click as a press followed by the double-click notice.
    sorter.press(Qt::LeftButton);
    sorter.doublePress();
    QTest::qWait(200);
    QCOMPARE(clicks.count(), 0);
    QCOMPARE(doubles.count(), 1);
}

void TestToolkit::eachButtonCounts_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("middle") << Qt::MiddleButton;
    QTest::newRow("right") << Qt::RightButton;
}

void TestToolkit::eachButtonCounts()
{
    QFETCH(Qt::MouseButton, button);
    TrayClickSorter sorter(30);
    QSignalSpy clicks(&sorter, &TrayClickSorter::clicked);
    sorter.press(button);
    QVERIFY(clicks.wait(1000));
    QCOMPARE(clicks.first().first().value<Qt::MouseButton>(), button);
}

void TestToolkit::clicksFarApartAreTwoClicks()
{
    TrayClickSorter sorter(30);
    QSignalSpy clicks(&sorter, &TrayClickSorter::clicked);
    sorter.press(Qt::LeftButton);
    QVERIFY(clicks.wait(1000));
    sorter.press(Qt::LeftButton);
    QVERIFY(clicks.wait(1000));
    QCOMPARE(clicks.count(), 2);
}

void TestToolkit::switchReportsOnlyUserChanges()
{
    OnOffSwitch onOff;
    onOff.resize(onOff.sizeHint());
    QSignalSpy changes(&onOff, &OnOffSwitch::stateChanged);
    onOff.setOn(true);
    QVERIFY(onOff.isOn());
    QCOMPARE(changes.count(), 0);
    QTest::mouseClick(&onOff, Qt::LeftButton);
    QVERIFY(!onOff.isOn());
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.last().first().toBool(), false);
    QTest::keyClick(&onOff, Qt::Key_Space);
    QVERIFY(onOff.isOn());
    QCOMPARE(changes.last().first().toBool(), true);
}

void TestToolkit::typingLimitStopsTypingNotDeleting()
{
    QLineEdit field;
    new TypingLimit(4, &field);
    QTest::keyClicks(&field, "123456");
    QCOMPARE(field.text(), QString("1234"));
    field.setText("1234567"); // the program may put a longer text there
    QCOMPARE(field.text(), QString("1234567"));
    field.end(false);
    QTest::keyClicks(&field, "8");
    QCOMPARE(field.text(), QString("1234567"));
    field.selectAll();
    QTest::keyClicks(&field, "9");
    QCOMPARE(field.text(), QString("9"));
}

QTEST_MAIN(TestToolkit)
#include "tst_toolkit.moc"
