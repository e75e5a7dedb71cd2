// A new public address counts only when two sources of different operators
// agree on it: real HTTP echo services on 127.0.0.1 answering as a test sets
// them, asked in-process and through the real helper, with the real history.
#include "ServiceLogCapture.h"
#include "support/EchoHttpServer.h"

#include "echo_check/PublicAddressChecker.h"
#include "service/addresses/AddressWatcher.h"
#include "service/addresses/IsolatedAddressCheck.h"
#include "service/addresses/LocalAddressSource.h"
#include "service/alerts/AlertSink.h"
#include "service/alerts/ChangeRecorder.h"
#include "service/alerts/HistoryLog.h"
#include "support/TestTime.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <memory>

using namespace std::chrono_literals;

namespace {

ServiceLogCapture* serviceLog = nullptr;

const QString Known = QStringLiteral("203.0.113.7");

class FixedLocalAddress : public LocalAddressSource
{
public:
    QString currentAddress() override { return QStringLiteral("192.0.2.10"); }
};

class NoAlerts : public AlertSink
{
public:
    void addressChanged(const Addresses&, const Addresses&, const AlertSettings&) override {}
};

// Three echo services of three operators; "" answers 503.
struct ThreeSources
{
    std::array<EchoHttpServer, 3> servers;

    void answer(const QStringList& addresses)
    {
        for (qsizetype i = 0; i < 3; ++i) {
            if (addresses.at(i).isEmpty())
                servers.at(i).setReply(503, "down");
            else
                servers.at(i).setAddress(addresses.at(i).toLatin1());
        }
    }
    QList<EchoSource> sources(const QStringList& operators = {"a", "b", "c"})
    {
        QList<EchoSource> list;
        for (qsizetype i = 0; i < 3; ++i)
            list.append(EchoSource(servers.at(i).url(), operators.at(i)));
        return list;
    }
    QString asked() const
    {
        QStringList counts;
        for (const EchoHttpServer& server : servers)
            counts << QString::number(server.requestCount());
        return counts.join(QLatin1Char(','));
    }
};

// The service's watcher over the helper, writing the real history log.
class HelperRig
{
public:
    explicit HelperRig(ThreeSources& three)
        : check(QStringLiteral(VELMORA_ECHO_HELPER), three.sources(), 2s,
                SourceStandings([this] { return now; })),
          watcher(local, check, {150ms, 0ms}, {Known, QStringLiteral("192.0.2.10")}),
          history(folder.path() + QStringLiteral("/velmora.log")),
          recorder(history, alerts, [] { return AlertSettings(); })
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

    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    QTemporaryDir folder;
    FixedLocalAddress local;
    IsolatedAddressCheck check;
    AddressWatcher watcher;
    HistoryLog history;
    NoAlerts alerts;
    ChangeRecorder recorder;
};

} // namespace

class TestServiceAgreement : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void answersAgreeOrNot_data();
    void answersAgreeOrNot();
    void changeNeedsTwoOperators_data();
    void changeNeedsTwoOperators();
    void lyingSourceIsSetAside();
};

void TestServiceAgreement::initTestCase()
{
    serviceLog = new ServiceLogCapture;
}

void TestServiceAgreement::cleanupTestCase()
{
    delete serviceLog;
    serviceLog = nullptr;
}

void TestServiceAgreement::answersAgreeOrNot_data()
{
    QTest::addColumn<QStringList>("answers"); // of the three services, in the order asked
    QTest::addColumn<QStringList>("operators");
    QTest::addColumn<QString>("known");
    QTest::addColumn<QString>("found"); // "" when the check fails
    QTest::addColumn<QString>("asked"); // requests per service
    QTest::addColumn<QString>("reason");

    const QString x = QStringLiteral("198.51.100.1");
    const QString y = QStringLiteral("198.51.100.2");
    const QString z = QStringLiteral("198.51.100.3");
    const QStringList abc{"a", "b", "c"};
    QTest::newRow("first repeats the known address")
        << QStringList{Known, x, x} << abc << Known << Known << "1,0,0"
        << "";
    QTest::newRow("two agree on a new one") << QStringList{x, x, y} << abc << Known << x << "1,1,0"
                                            << "";
    QTest::newRow("third sides with the first")
        << QStringList{x, Known, x} << abc << Known << x << "1,1,1"
        << "";
    QTest::newRow("third sides with the known")
        << QStringList{x, Known, Known} << abc << Known << Known << "1,1,1"
        << "";
    QTest::newRow("no two agree") << QStringList{x, y, z} << abc << Known << ""
                                  << "1,1,1"
                                  << "no two sources of different operators agree";
    QTest::newRow("one operator's two services are one voice")
        << QStringList{x, x, y} << QStringList{"a", "a", "c"} << Known << ""
        << "1,0,1"
        << "no two sources of different operators agree";
    QTest::newRow("a lone answer is not enough")
        << QStringList{x, "", ""} << abc << Known << ""
        << "1,1,1"
        << "only one source answered, and no other confirmed it";
    QTest::newRow("one operator only is taken alone")
        << QStringList{x, y, z} << QStringList{"a", "a", "a"} << Known << x << "1,0,0"
        << "";
    QTest::newRow("the first address needs two too")
        << QStringList{x, y, x} << abc << "" << x << "1,1,1"
        << "";
}

void TestServiceAgreement::answersAgreeOrNot()
{
    QFETCH(QStringList, answers);
    QFETCH(QStringList, operators);
    QFETCH(QString, known);
    QFETCH(QString, found);
    QFETCH(QString, asked);
    QFETCH(QString, reason);

    ThreeSources three;
    three.answer(answers);
    PublicAddressChecker checker(three.sources(operators), 2s);
    checker.setKnownAddress(known);
    QSignalSpy foundSpy(&checker, &PublicAddressSource::found);
    QSignalSpy failedSpy(&checker, &PublicAddressSource::failed);
    checker.start();
    QTRY_COMPARE(foundSpy.size() + failedSpy.size(), 1);
    if (found.isEmpty()) {
        const QString said = failedSpy.first().first().toString();
        QVERIFY2(said.contains(reason), qPrintable(said));
    } else {
        QCOMPARE(foundSpy.first().first().toString(), found);
    }
    QCOMPARE(three.asked(), asked);
}

void TestServiceAgreement::changeNeedsTwoOperators_data()
{
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QByteArray>("line"); // the history's one line; empty: none
    QTest::addColumn<QByteArray>("log");  // a warning the service logs

    const QByteArray changed = ",198.51.100.1,192.0.2.10\r"; // after the date
    QTest::newRow("two agree") << QStringList{"198.51.100.1", "198.51.100.1", Known} << changed
                               << QByteArray();
    QTest::newRow("a third decides for the new address")
        << QStringList{"198.51.100.1", Known, "198.51.100.1"} << changed << QByteArray();
    QTest::newRow("a third decides for the known address")
        << QStringList{"198.51.100.1", Known, Known} << QByteArray() << QByteArray();
    QTest::newRow("no agreement keeps the known address")
        << QStringList{"198.51.100.1", "198.51.100.2", "198.51.100.3"} << QByteArray()
        << QByteArray("<4>the public address could not be checked; keeping 203.0.113.7: no two "
                      "sources of different operators agree");
}

void TestServiceAgreement::changeNeedsTwoOperators()
{
    QFETCH(QStringList, answers);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, log);

    ThreeSources three;
    three.answer(answers);
    HelperRig rig(three);
    serviceLog->take();
    QSignalSpy checks(&rig.watcher, &AddressWatcher::publicCheckFinished);
    rig.watcher.start();
    QTRY_VERIFY_WITH_TIMEOUT(checks.size() >= 3, testtime::scaled(20000));
    QList<QByteArray> lines = rig.lines();
    for (QByteArray& each : lines)
        each = each.mid(each.indexOf(','));
    QCOMPARE(lines, line.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{line});
    const QByteArray logged = serviceLog->take();
    if (!log.isEmpty())
        QVERIFY2(logged.contains(log), logged.constData());
}

void TestServiceAgreement::lyingSourceIsSetAside()
{
    ThreeSources three;
    three.answer({"198.51.100.66", Known, Known}); // the first one lies
    HelperRig rig(three);
    serviceLog->take();
    QSignalSpy checks(&rig.watcher, &AddressWatcher::publicCheckFinished);
    rig.watcher.start();
    QTRY_VERIFY_WITH_TIMEOUT(checks.size() >= 5, testtime::scaled(20000));
    QVERIFY(rig.lines().isEmpty());
    QCOMPARE(rig.watcher.current().publicIp, Known);
    // Asked twice, disagreeing twice, then left alone: the other two decide.
    QCOMPARE(three.servers.at(0).requestCount(), 2);
    const QByteArray logged = serviceLog->take();
    QCOMPARE(logged.count("keeps answering another address"), 1);
    QVERIFY2(logged.contains("<4>" + three.servers.at(0).url().toString().toLatin1() +
                             " keeps answering another address than the other sources "
                             "(198.51.100.66, where they agree on 203.0.113.7); it is set aside "
                             "for 60 minutes"),
             logged.constData());

    // An hour later it is asked again.
    rig.now += 61min;
    const int before = checks.size();
    QTRY_VERIFY_WITH_TIMEOUT(checks.size() >= before + 2, testtime::scaled(20000));
    QCOMPARE_GE(three.servers.at(0).requestCount(), 3);
    QVERIFY(rig.lines().isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceAgreement)
#include "tst_service_agreement.moc"
