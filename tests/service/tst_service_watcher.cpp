// The address watcher in-process: scripted interface data and routing notices,
// real HTTP checks against local stand-in echo services (in-process and through
// the real helper), the real history file.
#include "support/EchoHttpServer.h"

#include "echo_check/PublicAddressChecker.h"
#include "servers/FreePort.h"
#include "service/addresses/AddressWatcher.h"
#include "service/addresses/IsolatedAddressCheck.h"
#include "service/addresses/LocalAddressSource.h"
#include "service/addresses/RememberedAddresses.h"
#include "service/addresses/RouteMonitor.h"
#include "service/alerts/AlertSink.h"
#include "service/alerts/ChangeRecorder.h"
#include "service/alerts/HistoryLog.h"
#include "service/alerts/PendingAlerts.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Interface data as a test scripts it.
class FakeAddressSource : public LocalAddressSource
{
public:
    QString currentAddress() override
    {
        ++readings;
        return m_address;
    }
    void change(const QString& address)
    {
        m_address = address;
        emit mayHaveChanged();
    }
    void set(const QString& address) { m_address = address; }

    int readings = 0;

private:
    QString m_address;
};

// The kernel's routing notices as a test sends them: datagrams on a socket
// pair, whose one end the route monitor takes over.
class NoticeSender
{
public:
    NoticeSender() { ::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, m_ends); }
    ~NoticeSender() { ::close(m_ends[1]); }
    int takeMonitorEnd() { return std::exchange(m_ends[0], -1); }

    // The notices of one change, all queued at once.
    bool send(int notices)
    {
        for (int i = 0; i < notices; ++i) {
            if (::send(m_ends[1], "notice", 6, MSG_DONTWAIT) != 6)
                return false;
        }
        return true;
    }

private:
    int m_ends[2] = {-1, -1};
};

class RecordingAlertSink : public AlertSink
{
public:
    void addressChanged(const Addresses& previous, const Addresses& current,
                        const AlertSettings& settings) override
    {
        calls.append({previous, current});
        lastSettings = settings;
    }
    QList<QPair<Addresses, Addresses>> calls;
    AlertSettings lastSettings;
};

const QDateTime FixedTime(QDate(2026, 12, 10), QTime(14, 3, 7));

// A watcher wired as the service wires it, with fakes only for the interfaces
// and the alerts.
class WatcherRig
{
public:
    explicit WatcherRig(AddressWatcher::Timing timing, std::chrono::milliseconds timeout = 2s,
                        const Addresses& remembered = {})
        : checker({echo.url()}, timeout), watcher(local, checker, timing, remembered),
          history(folder.path() + QStringLiteral("/velmora.log")),
          recorder(
              history, alerts,
              [] {
                  AlertSettings settings;
                  settings.set(Setting::EmailAlerts, true);
                  return settings;
              },
              [] { return FixedTime; })
    {
        QObject::connect(&watcher, &AddressWatcher::changed, &recorder, &ChangeRecorder::record);
    }

    QList<QByteArray> lines() const
    {
        QFile file(history.path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> result = file.readAll().split('\n');
        result.removeAll(QByteArray());
        return result;
    }

    QTemporaryDir folder;
    EchoHttpServer echo;
    FakeAddressSource local;
    PublicAddressChecker checker;
    AddressWatcher watcher;
    HistoryLog history;
    RecordingAlertSink alerts;
    ChangeRecorder recorder;
};

const AddressWatcher::Timing Quick{1h, 0ms};

QUrl closedPortUrl()
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(testservers::freePort()));
}

} // namespace

class TestServiceWatcher : public QObject
{
    Q_OBJECT
private slots:
    void checkerMovesOnToTheNextService_data();
    void checkerMovesOnToTheNextService();
    void checkerFailsWhenNoServiceAnswers();
    void localChangeWritesOneLine();
    void moveIsOneChange_data();
    void moveIsOneChange();
    void checkFromBeforeTheMoveIsNotTheMovesCheck();
    void everyMoveIsOneLine();
    void publicChangeWritesOneLine();
    void firstAddressesAreLearnedQuietly();
    void lostLocalAddressKeepsTheLastOne();
    void failedCheckWritesNothing_data();
    void failedCheckWritesNothing();
    void minimumGapBetweenChecks_data();
    void minimumGapBetweenChecks();
    void everyCheckReportsWhetherTheNetworkAnswered();
    void changeWhileStoppedIsReportedOnce_data();
    void changeWhileStoppedIsReportedOnce();
    void rememberedAddressesFile_data();
    void rememberedAddressesFile();
    void pendingAlertsFile();
    void burstOfNoticesIsOneReading_data();
    void burstOfNoticesIsOneReading();
    void isolatedCheckAsksThroughTheHelper_data();
    void isolatedCheckAsksThroughTheHelper();
};

void TestServiceWatcher::checkerMovesOnToTheNextService_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("delayMs");

    QTest::newRow("HTML page") << 200 << QByteArray("<html><body>203.0.113.9</body></html>") << 0;
    QTest::newRow("forbidden") << 403 << QByteArray("198.51.100.1") << 0;
    QTest::newRow("too many requests") << 429 << QByteArray("slow down") << 0;
    QTest::newRow("private address") << 200 << QByteArray("192.168.1.1\n") << 0;
    QTest::newRow("CGNAT address") << 200 << QByteArray("100.64.1.1\n") << 0;
    QTest::newRow("IPv6 address") << 200 << QByteArray("2001:db8::7\n") << 0;
    QTest::newRow("long body") << 200 << QByteArray(4096, '1') << 0;
    QTest::newRow("no answer in time") << 200 << QByteArray("198.51.100.1") << -1;
}

void TestServiceWatcher::checkerMovesOnToTheNextService()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, delayMs);

    EchoHttpServer bad;
    bad.setReply(status, body, delayMs);
    EchoHttpServer good;
    good.setAddress("203.0.113.7");
    PublicAddressChecker checker({bad.url(), good.url()}, 300ms);
    QSignalSpy found(&checker, &PublicAddressChecker::found);
    QSignalSpy failed(&checker, &PublicAddressChecker::failed);
    checker.start();
    QTRY_COMPARE(found.size(), 1);
    QCOMPARE(found.first().first().toString(), QStringLiteral("203.0.113.7"));
    QCOMPARE(failed.size(), 0);
    QCOMPARE(bad.requestCount(), 1);
    QCOMPARE(good.requestCount(), 1);
    QVERIFY(!checker.isRunning());
}

void TestServiceWatcher::checkerFailsWhenNoServiceAnswers()
{
    EchoHttpServer html;
    html.setReply(200, "<html>busy</html>");
    const QUrl refused = closedPortUrl();
    PublicAddressChecker checker({refused, html.url()}, 300ms);
    QSignalSpy found(&checker, &PublicAddressChecker::found);
    QSignalSpy failed(&checker, &PublicAddressChecker::failed);
    checker.start();
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(found.size(), 0);
    const QString reason = failed.first().first().toString();
    QVERIFY2(reason.contains(refused.toString()) && reason.contains(html.url().toString()),
             qPrintable(reason));
}

void TestServiceWatcher::localChangeWritesOneLine()
{
    WatcherRig rig(Quick);
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));
    QCOMPARE(rig.echo.requestCount(), 1);

    // The local change asks for the public address again; it is the same.
    rig.local.change(QStringLiteral("192.0.2.20"));
    QTRY_COMPARE(rig.lines(), QList<QByteArray>{"2026-12-10 14:03:07,203.0.113.7,192.0.2.20\r"});
    QCOMPARE(rig.echo.requestCount(), 2);
    QCOMPARE(rig.alerts.calls.size(), 1);
    QCOMPARE(rig.alerts.calls[0].first, (Addresses{"203.0.113.7", "192.0.2.10"}));
    QCOMPARE(rig.alerts.calls[0].second, (Addresses{"203.0.113.7", "192.0.2.20"}));
    QVERIFY(rig.alerts.lastSettings.isOn(Setting::EmailAlerts));
    QTRY_VERIFY(!rig.checker.isRunning());
    QCOMPARE(rig.lines().size(), 1);

    // The same address again is no change.
    rig.local.change(QStringLiteral("192.0.2.20"));
    QVERIFY(neverWithin(100, [&] { return rig.lines().size() > 1; }));
}

void TestServiceWatcher::moveIsOneChange_data()
{
    QTest::addColumn<int>("status"); // of the check the move brings
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("delayMs");     // -1: no answer before the check's time limit
    QTest::addColumn<QByteArray>("line"); // the one line
    QTest::addColumn<int>("atLeastMs");   // after the move

    const QByteArray both = "2026-12-10 14:03:07,198.51.100.23,192.0.2.20\r";
    const QByteArray localAlone = "2026-12-10 14:03:07,203.0.113.7,192.0.2.20\r";
    QTest::newRow("public address changed too")
        << 200 << QByteArray("198.51.100.23") << 0 << both << 0;
    QTest::newRow("slow check within the wait")
        << 200 << QByteArray("198.51.100.23") << 200 << both << 200;
    QTest::newRow("same public address")
        << 200 << QByteArray("203.0.113.7") << 0 << localAlone << 0;
    QTest::newRow("check fails") << 503 << QByteArray("down") << 0 << localAlone << 0;
    // The check gives up after 2 s; the move waits 600 ms.
    QTest::newRow("check longer than the wait")
        << 200 << QByteArray("198.51.100.23") << -1 << localAlone << 600;
}

void TestServiceWatcher::moveIsOneChange()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, delayMs);
    QFETCH(QByteArray, line);
    QFETCH(int, atLeastMs);

    WatcherRig rig({1h, 0ms, 600ms});
    QList<QPair<Addresses, Addresses>> changes;
    QObject::connect(&rig.watcher, &AddressWatcher::changed,
                     [&](const Addresses& previous, const Addresses& current) {
                         changes.append({previous, current});
                     });
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));
    QTRY_VERIFY(!rig.checker.isRunning());

    rig.echo.setReply(status, body, delayMs);
    QElapsedTimer sinceMove;
    sinceMove.start();
    rig.local.change(QStringLiteral("192.0.2.20"));
    QTRY_COMPARE(rig.lines(), QList<QByteArray>{line});
    QVERIFY2(sinceMove.elapsed() >= atLeastMs, qPrintable(QString::number(sinceMove.elapsed())));
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes[0].first, (Addresses{"203.0.113.7", "192.0.2.10"}));
    QCOMPARE(rig.alerts.calls.size(), 1);
    QCOMPARE(rig.alerts.calls[0].second, changes[0].second);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.checker.isRunning(), testtime::scaled(5000));
    QVERIFY(neverWithin(100, [&] { return changes.size() > 1; }));
}

void TestServiceWatcher::checkFromBeforeTheMoveIsNotTheMovesCheck()
{
    WatcherRig rig({1h, 0ms, 5s});
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));
    QTRY_VERIFY(!rig.checker.isRunning());

    // A check on its way (through the old network) when the move comes: its
    // answer is not taken for the new network's; the check after it is.
    rig.echo.setReply(200, "192.0.2.99", 300);
    rig.checker.start();
    QTRY_COMPARE(rig.echo.requestCount(), 2);
    rig.local.change(QStringLiteral("192.0.2.20"));
    rig.echo.setAddress("198.51.100.23");
    QTRY_COMPARE(rig.lines(), QList<QByteArray>{"2026-12-10 14:03:07,198.51.100.23,192.0.2.20\r"});
    QTRY_VERIFY(!rig.checker.isRunning());
    QCOMPARE(rig.echo.requestCount(), 3);
    QCOMPARE(rig.alerts.calls.size(), 1);
}

void TestServiceWatcher::everyMoveIsOneLine()
{
    // Moves closer together than their checks: each is one line all the same.
    WatcherRig rig({1h, 0ms, 2s});
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));
    QTRY_VERIFY(!rig.checker.isRunning());

    rig.echo.setReply(200, "198.51.100.23", 50);
    for (int i = 1; i <= 10; ++i) {
        rig.local.change(QStringLiteral("192.0.2.%1").arg(20 + i));
        QTest::qWait(5);
    }
    QTRY_COMPARE(rig.lines().size(), 10);
    QTRY_VERIFY(!rig.checker.isRunning());
    QVERIFY(neverWithin(200, [&] { return rig.lines().size() > 10; }));
    QCOMPARE(rig.lines().last(), QByteArray("2026-12-10 14:03:07,198.51.100.23,192.0.2.30\r"));
    QCOMPARE(rig.alerts.calls.size(), 10);
    for (int i = 1; i < 10; ++i)
        QCOMPARE(rig.alerts.calls[i].first.localIp, rig.alerts.calls[i - 1].second.localIp);
}

void TestServiceWatcher::publicChangeWritesOneLine()
{
    WatcherRig rig({100ms, 0ms});
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));

    rig.echo.setAddress("198.51.100.23");
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("198.51.100.23"));
    QCOMPARE(rig.lines(), QList<QByteArray>{"2026-12-10 14:03:07,198.51.100.23,192.0.2.10\r"});
    const int requests = rig.echo.requestCount();
    QTRY_VERIFY(rig.echo.requestCount() >= requests + 2);
    QCOMPARE(rig.lines().size(), 1);
}

void TestServiceWatcher::firstAddressesAreLearnedQuietly()
{
    WatcherRig rig({100ms, 0ms});
    rig.echo.setReply(503, "down");
    rig.watcher.start(); // no local address, no public one
    QTRY_VERIFY(rig.echo.requestCount() >= 2);

    rig.local.change(QStringLiteral("192.0.2.10"));
    rig.echo.setAddress("203.0.113.7");
    QTRY_COMPARE(rig.watcher.current(), (Addresses{"203.0.113.7", "192.0.2.10"}));
    QCOMPARE(rig.lines(), QList<QByteArray>());
    QCOMPARE(rig.alerts.calls.size(), 0);
}

void TestServiceWatcher::lostLocalAddressKeepsTheLastOne()
{
    WatcherRig rig(Quick);
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));

    rig.local.change(QString()); // the network went away for a moment
    QCOMPARE(rig.watcher.current().localIp, QStringLiteral("192.0.2.10"));
    rig.local.change(QStringLiteral("192.0.2.10")); // and came back as it was
    QVERIFY(neverWithin(100, [&] { return !rig.lines().isEmpty(); }));

    rig.local.change(QString());
    rig.local.change(QStringLiteral("192.0.2.30")); // came back with another address
    QTRY_COMPARE(rig.lines(), QList<QByteArray>{"2026-12-10 14:03:07,203.0.113.7,192.0.2.30\r"});
}

void TestServiceWatcher::failedCheckWritesNothing_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("server error") << 503 << QByteArray("198.51.100.1") << 0;
    QTest::newRow("HTML page") << 200 << QByteArray("<html>198.51.100.1</html>") << 0;
    QTest::newRow("private address") << 200 << QByteArray("10.0.0.1") << 0;
    QTest::newRow("no answer in time") << 200 << QByteArray("198.51.100.1") << -1;
}

void TestServiceWatcher::failedCheckWritesNothing()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, delayMs);

    WatcherRig rig({50ms, 0ms}, 200ms);
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));

    rig.echo.setReply(status, body, delayMs);
    const int requests = rig.echo.requestCount();
    QTRY_VERIFY(rig.echo.requestCount() >= requests + 3);
    QCOMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));
    QCOMPARE(rig.lines().size(), 0);
    QCOMPARE(rig.alerts.calls.size(), 0);
}

void TestServiceWatcher::minimumGapBetweenChecks_data()
{
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<int>("requestsAfterThreeChanges");
    QTest::newRow("no gap: a check per change") << 0 << 4;
    QTest::newRow("long gap: none yet") << 600000 << 1;
}

void TestServiceWatcher::minimumGapBetweenChecks()
{
    QFETCH(int, gapMs);
    QFETCH(int, requestsAfterThreeChanges);

    // The moves do not wait long for the checks the gap holds back.
    WatcherRig rig({1h, std::chrono::milliseconds(gapMs), 100ms});
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.echo.requestCount(), 1);
    QTRY_VERIFY(!rig.checker.isRunning());

    for (const char* address : {"192.0.2.11", "192.0.2.12", "192.0.2.13"}) {
        rig.local.change(QString::fromLatin1(address));
        QTRY_VERIFY(!rig.checker.isRunning());
    }
    QVERIFY(neverWithin(200, [&] { return rig.echo.requestCount() > requestsAfterThreeChanges; }));
    QTRY_COMPARE(rig.lines().size(), 3);
}

void TestServiceWatcher::everyCheckReportsWhetherTheNetworkAnswered()
{
    WatcherRig rig({50ms, 0ms}, 200ms);
    QStringList events;
    QObject::connect(&rig.watcher, &AddressWatcher::changed,
                     [&](const Addresses&, const Addresses& current) {
                         events.append(QStringLiteral("changed to ") + current.publicIp);
                     });
    QObject::connect(&rig.watcher, &AddressWatcher::publicCheckFinished, [&](bool succeeded) {
        const QString event = succeeded ? QStringLiteral("reached") : QStringLiteral("unreachable");
        if (events.isEmpty() || events.last() != event)
            events.append(event);
    });
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(events, QStringList{QStringLiteral("reached")});

    rig.echo.setReply(503, "down");
    QTRY_COMPARE(events.size(), 2);
    QCOMPARE(events.last(), QStringLiteral("unreachable"));

    // The change comes first, so that whoever waits for the network sees it.
    rig.echo.setAddress("198.51.100.23");
    QTRY_COMPARE(events.size(), 4);
    QCOMPARE(events.mid(2),
             (QStringList{QStringLiteral("changed to 198.51.100.23"), QStringLiteral("reached")}));
}

void TestServiceWatcher::changeWhileStoppedIsReportedOnce_data()
{
    QTest::addColumn<Addresses>("remembered");
    QTest::addColumn<QString>("localAtStart");
    QTest::addColumn<QByteArray>("echoAnswer"); // empty: the check fails
    QTest::addColumn<QList<QByteArray>>("lines");

    const Addresses known{"203.0.113.7", "192.0.2.10"};
    QTest::newRow("nothing changed")
        << known << "192.0.2.10" << QByteArray("203.0.113.7") << QList<QByteArray>();
    QTest::newRow("public changed")
        << known << "192.0.2.10" << QByteArray("198.51.100.23")
        << QList<QByteArray>{"2026-12-10 14:03:07,198.51.100.23,192.0.2.10\r"};
    QTest::newRow("both changed: one line")
        << known << "192.0.2.20" << QByteArray("198.51.100.23")
        << QList<QByteArray>{"2026-12-10 14:03:07,198.51.100.23,192.0.2.20\r"};
    QTest::newRow("local changed, network down")
        << known << "192.0.2.20" << QByteArray()
        << QList<QByteArray>{"2026-12-10 14:03:07,203.0.113.7,192.0.2.20\r"};
    QTest::newRow("no local address yet")
        << known << "" << QByteArray("203.0.113.7") << QList<QByteArray>();
    QTest::newRow("nothing remembered")
        << Addresses{} << "192.0.2.20" << QByteArray("198.51.100.23") << QList<QByteArray>();
}

void TestServiceWatcher::changeWhileStoppedIsReportedOnce()
{
    QFETCH(Addresses, remembered);
    QFETCH(QString, localAtStart);
    QFETCH(QByteArray, echoAnswer);
    QFETCH(QList<QByteArray>, lines);

    WatcherRig rig(Quick, 2s, remembered);
    QList<Addresses> kept;
    QObject::connect(&rig.watcher, &AddressWatcher::currentChanged,
                     [&](const Addresses& current) { kept.append(current); });
    QSignalSpy checks(&rig.watcher, &AddressWatcher::publicCheckFinished);
    if (echoAnswer.isEmpty())
        rig.echo.setReply(503, "down");
    else
        rig.echo.setAddress(echoAnswer);
    rig.local.set(localAtStart);
    rig.watcher.start();
    // Until the first check is over, the remembered addresses are the last known.
    QCOMPARE(rig.watcher.current(),
             (Addresses{remembered.publicIp,
                        localAtStart.isEmpty() ? remembered.localIp : localAtStart}));
    QTRY_COMPARE(checks.size(), 1);

    QCOMPARE(rig.lines(), lines);
    QCOMPARE(rig.alerts.calls.size(), lines.size());
    if (!lines.isEmpty())
        QCOMPARE(rig.alerts.calls[0].first, remembered);
    const Addresses now = rig.watcher.current();
    QCOMPARE(kept, now == remembered ? QList<Addresses>() : QList<Addresses>{now});
}

void TestServiceWatcher::rememberedAddressesFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<Addresses>("loaded");
    QTest::newRow("both") << QByteArray("public 203.0.113.7\nlocal 192.0.2.10\n")
                          << Addresses{"203.0.113.7", "192.0.2.10"};
    QTest::newRow("public only") << QByteArray("public 203.0.113.7\nlocal \n")
                                 << Addresses{"203.0.113.7", ""};
    QTest::newRow("not addresses")
        << QByteArray("public 203.0.113.777\nlocal 192.0.2.010\n") << Addresses{};
    QTest::newRow("other file") << QByteArray("<html>\0\xff</html>", 15) << Addresses{};
    QTest::newRow("empty") << QByteArray() << Addresses{};
}

void TestServiceWatcher::rememberedAddressesFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(Addresses, loaded);

    QTemporaryDir folder;
    const RememberedAddresses remembered(folder.path());
    QCOMPARE(remembered.load(), Addresses{}); // no file yet
    QFile file(remembered.filePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    QCOMPARE(remembered.load(), loaded);

    remembered.save({"198.51.100.23", "192.0.2.20"});
    QCOMPARE(remembered.load(), (Addresses{"198.51.100.23", "192.0.2.20"}));
}

void TestServiceWatcher::pendingAlertsFile()
{
    QTemporaryDir folder;
    const PendingAlerts pending(folder.path());
    QVERIFY(!pending.load());

    const PendingAlerts::Change change{{"203.0.113.7", ""},
                                       {"198.51.100.23", "192.0.2.20"},
                                       FixedTime,
                                       {QStringLiteral("e-mail"), QStringLiteral("FTP page")}};
    pending.save(change);
    const std::optional<PendingAlerts::Change> back = pending.load();
    QVERIFY(back);
    QCOMPARE(back->previous, change.previous);
    QCOMPARE(back->current, change.current);
    QCOMPARE(back->when, change.when);
    QCOMPARE(back->alerts, change.alerts);

    // Nothing left to send: no file.
    pending.save({change.previous, change.current, change.when, {}});
    QVERIFY(!QFile::exists(pending.filePath()));

    // Not ours, or damaged: nothing pending.
    for (const QByteArray& contents :
         {QByteArray("previous 203.0.113.7 -\ncurrent 1.2.3 -\nwhen 2026-12-10T14:03:07\n"
                     "alerts e-mail\n"),
          QByteArray("previous - -\ncurrent - -\nwhen yesterday\nalerts e-mail\n"),
          QByteArray("public 203.0.113.7\nlocal 192.0.2.10\n")}) {
        QFile file(pending.filePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
        QVERIFY2(!pending.load(), contents.constData());
    }
}

void TestServiceWatcher::burstOfNoticesIsOneReading_data()
{
    QTest::addColumn<int>("notices");
    QTest::addColumn<int>("trailing"); // notices of the same burst after the reading
    QTest::addColumn<QString>("afterTrailing");
    QTest::addColumn<QStringList>("localAddresses");

    const QStringList one{QStringLiteral("192.0.2.20")};
    const QStringList two{QStringLiteral("192.0.2.20"), QStringLiteral("192.0.2.30")};
    QTest::newRow("one notice") << 1 << 0 << "192.0.2.20" << one;
    QTest::newRow("an address with its routes") << 4 << 0 << "192.0.2.20" << one;
    QTest::newRow("a full queue") << 10 << 0 << "192.0.2.20" << one;
    QTest::newRow("trailing notices, no further change") << 4 << 3 << "192.0.2.20" << one;
    QTest::newRow("trailing notices of a second change") << 4 << 3 << "192.0.2.30" << two;
}

void TestServiceWatcher::burstOfNoticesIsOneReading()
{
    QFETCH(int, notices);
    QFETCH(int, trailing);
    QFETCH(QString, afterTrailing);
    QFETCH(QStringList, localAddresses);

    WatcherRig rig(Quick);
    rig.echo.setAddress("203.0.113.7");
    rig.local.set(QStringLiteral("192.0.2.10"));
    rig.watcher.start();
    QTRY_COMPARE(rig.watcher.current().publicIp, QStringLiteral("203.0.113.7"));
    QTRY_VERIFY(!rig.checker.isRunning());

    NoticeSender kernel;
    RouteMonitor monitor(kernel.takeMonitorEnd());
    QObject::connect(&monitor, &RouteMonitor::changed, &rig.local,
                     &LocalAddressSource::mayHaveChanged);
    const int readingsBefore = rig.local.readings;

    rig.local.set(QStringLiteral("192.0.2.20"));
    QVERIFY(kernel.send(notices));
    // One turn of the event loop, which runs no timer that is not due: the
    // address is read without waiting for one.
    QCoreApplication::processEvents();
    QCOMPARE(rig.local.readings - readingsBefore, 1);
    QCOMPARE(rig.watcher.current().localIp, QStringLiteral("192.0.2.20"));
    QTRY_COMPARE(rig.lines(), QList<QByteArray>{"2026-12-10 14:03:07,203.0.113.7,192.0.2.20\r"});

    // What trails the reading is read once more, once.
    rig.local.set(afterTrailing);
    QVERIFY(kernel.send(trailing));
    const int readings = trailing > 0 ? 2 : 1;
    QTRY_COMPARE(rig.local.readings - readingsBefore, readings);
    QVERIFY(neverWithin(100, [&] { return rig.local.readings - readingsBefore > readings; }));
    QList<QByteArray> lines;
    for (const QString& address : localAddresses)
        lines.append("2026-12-10 14:03:07,203.0.113.7," + address.toLatin1() + '\r');
    QTRY_COMPARE(rig.lines(), lines);
}

void TestServiceWatcher::isolatedCheckAsksThroughTheHelper_data()
{
    QTest::addColumn<QString>("helper");
    QTest::addColumn<int>("status"); // 0: no echo service at all
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("found");
    QTest::addColumn<QString>("reason");

    const QString helper = QStringLiteral(VELMORA_ECHO_HELPER);
    QTest::newRow("address") << helper << 200 << QByteArray("203.0.113.7\n") << "203.0.113.7"
                             << "";
    QTest::newRow("server error") << helper << 503 << QByteArray("down") << ""
                                  << "HTTP status 503";
    QTest::newRow("not an address") << helper << 200 << QByteArray("<html>203.0.113.7</html>") << ""
                                    << "the answer is not one public IPv4 address";
    QTest::newRow("no echo service") << helper << 0 << QByteArray() << ""
                                     << "no echo service is configured";
    QTest::newRow("no helper") << QStringLiteral("/nonexistent/velmora-echo-check") << 200
                               << QByteArray("203.0.113.7") << ""
                               << "cannot start the check";
}

void TestServiceWatcher::isolatedCheckAsksThroughTheHelper()
{
    QFETCH(QString, helper);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, found);
    QFETCH(QString, reason);

    EchoHttpServer echo;
    echo.setReply(status, body);
    IsolatedAddressCheck check(
        helper, status == 0 ? QList<EchoSource>() : QList<EchoSource>{echo.url()}, 2s);
    QSignalSpy foundSpy(&check, &PublicAddressSource::found);
    QSignalSpy failedSpy(&check, &PublicAddressSource::failed);
    check.start();
    QTRY_VERIFY_WITH_TIMEOUT(!check.isRunning(), testtime::scaled(15000));

    if (found.isEmpty()) {
        QCOMPARE(foundSpy.size(), 0);
        QCOMPARE(failedSpy.size(), 1);
        const QString said = failedSpy.first().first().toString();
        QVERIFY2(said.contains(reason), qPrintable(said));
    } else {
        QCOMPARE(failedSpy.size(), 0);
        QCOMPARE(foundSpy.size(), 1);
        QCOMPARE(foundSpy.first().first().toString(), found);
    }
}

QTEST_GUILESS_MAIN(TestServiceWatcher)
#include "tst_service_watcher.moc"
