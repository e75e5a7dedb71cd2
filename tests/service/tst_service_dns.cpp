// The public address asked of DNS servers that answer with the asker's
// address: a private dnsmasq on 127.0.0.1 answers as the test sets it, through
// c-ares in-process and through the real helper with the real history log.
#include "ServiceLogCapture.h"

#include "echo_check/DnsEcho.h"
#include "servers/DnsServer.h"
#include "servers/FreePort.h"
#include "service/addresses/AddressWatcher.h"
#include "service/addresses/IsolatedAddressCheck.h"
#include "service/addresses/LocalAddressSource.h"
#include "service/alerts/AlertSink.h"
#include "service/alerts/ChangeRecorder.h"
#include "service/alerts/HistoryLog.h"
#include "support/TestTime.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

using namespace std::chrono_literals;
using testservers::DnsServer;

namespace {

ServiceLogCapture* serviceLog = nullptr;

const QByteArray Known = "203.0.113.7";
const QByteArray Moved = "198.51.100.23";

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

// The names the server answers: two sources that follow the "provider's"
// address, and one of each way of answering wrongly.
DnsServer::Addresses zone(const QByteArray& address)
{
    return {{"myip.test", address},
            {"whoami.test", address},
            {"private.test", "10.0.0.5"},
            {"liar.test", "198.51.100.99"}};
}

const QList<DnsServer::Txt> Texts{
    {"txt.test", {"203.0.113.7"}},
    {"garbage.test", {"not an address"}},
    {"private-txt.test", {"192.168.1.20"}},
    // Over 512 bytes: the answer comes truncated.
    {"big.test", QList<QByteArray>(6, QByteArray(200, 'x'))},
};

QUrl question(quint16 port, const char* nameAndType)
{
    return QUrl(QStringLiteral("dns://127.0.0.1:%1/%2").arg(port).arg(QLatin1String(nameAndType)));
}

// The service's watcher over the helper, writing the real history log.
class HelperRig
{
public:
    HelperRig(const QList<EchoSource>& sources, std::chrono::milliseconds interval)
        : check(QStringLiteral(VELMORA_ECHO_HELPER), sources, 500ms),
          watcher(local, check, {interval, 0ms},
                  {QString::fromLatin1(Known), QStringLiteral("192.0.2.10")}),
          history(folder.path() + QStringLiteral("/velmora.log")),
          recorder(history, alerts, [] { return AlertSettings(); })
    {
        QObject::connect(&watcher, &AddressWatcher::changed, &recorder, &ChangeRecorder::record);
    }

    // The lines after their date.
    QList<QByteArray> lines() const
    {
        QFile file(history.path());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> result = file.readAll().split('\n');
        result.removeAll(QByteArray());
        for (QByteArray& line : result)
            line = line.mid(line.indexOf(','));
        return result;
    }

    QTemporaryDir folder;
    FixedLocalAddress local;
    IsolatedAddressCheck check;
    AddressWatcher watcher;
    HistoryLog history;
    NoAlerts alerts;
    ChangeRecorder recorder;
};

// Waits until the server gives this answer (it reads its files again after a
// signal, on its own time).
bool serverAnswers(quint16 port, const QByteArray& address)
{
    const std::optional<DnsQuestion> myip = DnsQuestion::fromUrl(question(port, "myip.test"));
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (dnsecho::ask(*myip, 500ms).address == QString::fromLatin1(address))
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

class TestServiceDns : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void oneQuestion_data();
    void oneQuestion();
    void zoneChangeIsNoticedWithinOneInterval();
    void wrongSourceNeverRaisesAChange_data();
    void wrongSourceNeverRaisesAChange();

private:
    DnsServer m_server;
    QUdpSocket m_silent; // takes questions and never answers
};

void TestServiceDns::initTestCase()
{
    serviceLog = new ServiceLogCapture;
    QVERIFY2(m_server.start(zone(Known), Texts), qPrintable(m_server.errorText()));
    QVERIFY(m_silent.bind(QHostAddress::LocalHost, 0));
    QVERIFY(serverAnswers(m_server.port(), Known));
}

void TestServiceDns::cleanupTestCase()
{
    delete serviceLog;
    serviceLog = nullptr;
}

void TestServiceDns::oneQuestion_data()
{
    QTest::addColumn<QString>("url"); // {port}: the server's, {silent}: a socket that never answers
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("problem");

    QTest::newRow("A") << "dns://127.0.0.1:{port}/myip.test?type=A"
                       << "203.0.113.7"
                       << "";
    QTest::newRow("TXT") << "dns://127.0.0.1:{port}/txt.test?type=TXT"
                         << "203.0.113.7"
                         << "";
    QTest::newRow("server by name") << "dns://localhost:{port}/myip.test"
                                    << "203.0.113.7"
                                    << "";
    QTest::newRow("garbage") << "dns://127.0.0.1:{port}/garbage.test?type=TXT"
                             << ""
                             << "no text of the answer is an IPv4 address";
    QTest::newRow("NXDOMAIN") << "dns://127.0.0.1:{port}/nothing.test?type=A"
                              << ""
                              << "the name does not exist (NXDOMAIN)";
    QTest::newRow("no record of the type") << "dns://127.0.0.1:{port}/garbage.test?type=A"
                                           << ""
                                           << "no record of that type";
    QTest::newRow("private A") << "dns://127.0.0.1:{port}/private.test?type=A"
                               << ""
                               << "the answer 10.0.0.5 is not a public address";
    QTest::newRow("private TXT") << "dns://127.0.0.1:{port}/private-txt.test?type=TXT"
                                 << ""
                                 << "the answer 192.168.1.20 is not a public address";
    QTest::newRow("truncated") << "dns://127.0.0.1:{port}/big.test?type=TXT"
                               << ""
                               << "no text of the answer is an IPv4 address";
    QTest::newRow("no answer") << "dns://127.0.0.1:{silent}/myip.test"
                               << ""
                               << "no answer within 300 ms";
    QTest::newRow("nothing listening") << "dns://127.0.0.1:{closed}/myip.test"
                                       << ""
                                       << "the server cannot be reached";
}

void TestServiceDns::oneQuestion()
{
    QFETCH(QString, url);
    QFETCH(QString, address);
    QFETCH(QString, problem);

    url.replace(QStringLiteral("{port}"), QString::number(m_server.port()))
        .replace(QStringLiteral("{silent}"), QString::number(m_silent.localPort()))
        .replace(QStringLiteral("{closed}"), QString::number(testservers::freePort()));
    const std::optional<DnsQuestion> asked = DnsQuestion::fromUrl(QUrl(url));
    QVERIFY(asked);
    QElapsedTimer took;
    took.start();
    const dnsecho::Answer answer = dnsecho::ask(*asked, 300ms);
    QCOMPARE(answer.address, address);
    QVERIFY2(answer.problem.contains(problem), qPrintable(answer.problem));
    QVERIFY2(!address.isEmpty() || !answer.problem.isEmpty(), "a failure says why");
    // The time limit holds, whatever the server does.
    QCOMPARE_LT(took.elapsed(), testtime::scaled(2000));
}

void TestServiceDns::zoneChangeIsNoticedWithinOneInterval()
{
    const quint16 port = m_server.port();
    QVERIFY(m_server.setAddresses(zone(Known)));
    QVERIFY(serverAnswers(port, Known));
    constexpr std::chrono::milliseconds Interval = 1500ms;
    HelperRig rig({EchoSource(question(port, "myip.test?type=A"), QStringLiteral("one")),
                   EchoSource(question(port, "whoami.test?type=A"), QStringLiteral("two"))},
                  Interval);
    QSignalSpy checks(&rig.watcher, &AddressWatcher::publicCheckFinished);
    rig.watcher.start();
    QTRY_COMPARE(checks.size(), 1);
    QVERIFY(rig.lines().isEmpty());

    // The provider moves the address: the next periodic check has it.
    QVERIFY(m_server.setAddresses(zone(Moved)));
    QVERIFY(serverAnswers(port, Moved));
    QElapsedTimer sinceChange;
    sinceChange.start();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.lines().isEmpty(), testtime::scaled(10000));
    QCOMPARE_LT(sinceChange.elapsed(),
                Interval.count() + testtime::scaled(1000)); // the check itself is quick
    QCOMPARE(rig.lines(), QList<QByteArray>{"," + Moved + ",192.0.2.10\r"});
    QVERIFY(m_server.setAddresses(zone(Known)));
}

void TestServiceDns::wrongSourceNeverRaisesAChange_data()
{
    QTest::addColumn<QString>("first"); // the source asked first; {port}, {silent} as above
    QTest::addColumn<QByteArray>("logged");

    QTest::newRow("garbage") << "dns://127.0.0.1:{port}/garbage.test?type=TXT"
                             << QByteArray("/garbage.test?type=TXT gives no address: no text "
                                           "of the answer is an IPv4 address; asking the next "
                                           "source");
    QTest::newRow("NXDOMAIN") << "dns://127.0.0.1:{port}/nothing.test?type=A"
                              << QByteArray("/nothing.test?type=A gives no address: the name "
                                            "does not exist (NXDOMAIN); asking the next source");
    QTest::newRow("private address")
        << "dns://127.0.0.1:{port}/private.test?type=A"
        << QByteArray("/private.test?type=A gives no address: the answer 10.0.0.5 is not a "
                      "public address; asking the next source");
    QTest::newRow("truncated") << "dns://127.0.0.1:{port}/big.test?type=TXT"
                               << QByteArray("/big.test?type=TXT gives no address");
    QTest::newRow("no answer") << "dns://127.0.0.1:{silent}/myip.test?type=A"
                               << QByteArray("/myip.test?type=A gives no address: no answer "
                                             "within 500 ms; asking the next source");
    QTest::newRow("another public address")
        << "dns://127.0.0.1:{port}/liar.test?type=A"
        << QByteArray("/liar.test?type=A keeps answering another address than the other "
                      "sources (198.51.100.99, where they agree on 203.0.113.7); it is set aside "
                      "for 60 minutes");
}

void TestServiceDns::wrongSourceNeverRaisesAChange()
{
    QFETCH(QString, first);
    QFETCH(QByteArray, logged);

    const quint16 port = m_server.port();
    QVERIFY(m_server.setAddresses(zone(Known)));
    QVERIFY(serverAnswers(port, Known));
    first.replace(QStringLiteral("{port}"), QString::number(port))
        .replace(QStringLiteral("{silent}"), QString::number(m_silent.localPort()));
    HelperRig rig({EchoSource(QUrl(first), QStringLiteral("wrong")),
                   EchoSource(question(port, "myip.test?type=A"), QStringLiteral("one")),
                   EchoSource(question(port, "txt.test?type=TXT"), QStringLiteral("two"))},
                  100ms);
    serviceLog->take();
    QSignalSpy checks(&rig.watcher, &AddressWatcher::publicCheckFinished);
    rig.watcher.start();
    QTRY_VERIFY_WITH_TIMEOUT(checks.size() >= 4, testtime::scaled(20000));
    QVERIFY(rig.lines().isEmpty());
    QCOMPARE(rig.watcher.current().publicIp, QString::fromLatin1(Known));
    for (const QList<QVariant>& check : checks)
        QVERIFY(check.first().toBool()); // the others agreed every time
    const QByteArray log = serviceLog->take();
    QCOMPARE(log.count(logged), 1); // once, not at every check
    QVERIFY2(log.contains("<4>dns://127.0.0.1:"), log.constData());
}

QTEST_GUILESS_MAIN(TestServiceDns)
#include "tst_service_dns.moc"
