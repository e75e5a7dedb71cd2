// A wake from sleep is found from the clocks (the gap between boot time and
// monotonic time grows by the time slept) and brings a public check at once,
// whatever the minimum gap between checks.
#include "support/EchoHttpServer.h"

#include "echo_check/PublicAddressChecker.h"
#include "service/addresses/AddressWatcher.h"
#include "service/addresses/LocalAddressSource.h"
#include "service/addresses/WakeDetector.h"
#include "support/TestTime.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

class FixedLocalAddress : public LocalAddressSource
{
public:
    QString currentAddress() override { return QStringLiteral("192.0.2.10"); }
};

// Clocks the test moves by hand.
struct ClockPair
{
    std::chrono::nanoseconds monotonic = 1000s;
    std::chrono::nanoseconds boottime = 1200s;

    WakeDetector::Clocks clocks()
    {
        return [this] { return WakeDetector::ClockPair{monotonic, boottime}; };
    }
    void awake(std::chrono::nanoseconds span)
    {
        monotonic += span;
        boottime += span;
    }
    void asleep(std::chrono::nanoseconds span) { boottime += span; }
};

} // namespace

class TestServiceWake : public QObject
{
    Q_OBJECT
private slots:
    void sleepIsTheGrowingGap_data();
    void sleepIsTheGrowingGap();
    void wakeChecksAtOnce();
    void systemClocksFollowTheResumeNotice();
};

void TestServiceWake::sleepIsTheGrowingGap_data()
{
    QTest::addColumn<qint64>("awakeMs");
    QTest::addColumn<qint64>("asleepMs");
    QTest::addColumn<qint64>("wokeMs"); // -1: no wake-up

    QTest::newRow("awake only") << qint64(90000) << qint64(0) << qint64(-1);
    QTest::newRow("a few hours asleep")
        << qint64(20) << qint64(3 * 3600 * 1000) << qint64(3 * 3600 * 1000);
    QTest::newRow("two seconds asleep") << qint64(0) << qint64(2000) << qint64(2000);
    QTest::newRow("clock reading noise") << qint64(5) << qint64(40) << qint64(-1);
}

void TestServiceWake::sleepIsTheGrowingGap()
{
    QFETCH(qint64, awakeMs);
    QFETCH(qint64, asleepMs);
    QFETCH(qint64, wokeMs);

    ClockPair clocks;
    WakeDetector detector(clocks.clocks());
    QSignalSpy woke(&detector, &WakeDetector::woke);
    clocks.awake(std::chrono::milliseconds(awakeMs));
    clocks.asleep(std::chrono::milliseconds(asleepMs));
    detector.look();
    if (wokeMs < 0) {
        QCOMPARE(woke.size(), 0);
    } else {
        QCOMPARE(woke.size(), 1);
        QCOMPARE(woke.first().first().value<std::chrono::milliseconds>(),
                 std::chrono::milliseconds(wokeMs));
    }
    // The sleep is told once: the next look compares with this one.
    clocks.awake(1s);
    detector.look();
    QCOMPARE(woke.size(), wokeMs < 0 ? 0 : 1);
}

void TestServiceWake::wakeChecksAtOnce()
{
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    FixedLocalAddress local;
    PublicAddressChecker checker({echo.url()}, 2s);
    // Checks far apart, as a computer put to sleep right after one would see.
    AddressWatcher watcher(local, checker, {1h, 1h});
    ClockPair clocks;
    WakeDetector detector(clocks.clocks());
    QObject::connect(&detector, &WakeDetector::woke, &watcher, &AddressWatcher::checkNow);
    QSignalSpy checks(&watcher, &AddressWatcher::publicCheckFinished);
    watcher.start();
    QTRY_COMPARE(checks.size(), 1);
    QCOMPARE(watcher.current().publicIp, QStringLiteral("203.0.113.7"));

    echo.setAddress("198.51.100.23"); // changed by the provider during the night
    clocks.asleep(8h);
    QElapsedTimer sinceWake;
    sinceWake.start();
    detector.look();
    QTRY_COMPARE(checks.size(), 2);
    QCOMPARE_LT(sinceWake.elapsed(), testtime::scaled(2000));
    QCOMPARE(watcher.current().publicIp, QStringLiteral("198.51.100.23"));
    QCOMPARE(echo.requestCount(), 2);
}

void TestServiceWake::systemClocksFollowTheResumeNotice()
{
    // The kernel's resume notice is there on every kernel this runs on; a
    // detector that fell back to looking would wake the computer twice a minute.
    WakeDetector detector;
    QVERIFY(detector.followsResume());
    const WakeDetector::ClockPair now = WakeDetector::systemClocks();
    QCOMPARE_GE(now.boottime, now.monotonic);
}

QTEST_GUILESS_MAIN(TestServiceWake)
#include "tst_service_wake.moc"
