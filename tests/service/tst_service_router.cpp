// The router's announcement of a new external address (NAT-PMP, PCP) starts a
// public check at once, and never reports a change by itself. Real datagrams
// to 224.0.0.1:5350, in a network namespace of the test's own.
#include "support/EchoHttpServer.h"
#include "support/PrivateNetwork.h"

#include "echo_check/PublicAddressChecker.h"
#include "service/addresses/AddressWatcher.h"
#include "service/addresses/LocalAddressSource.h"
#include "service/addresses/RouterAnnouncements.h"
#include "support/TestTime.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

class FixedLocalAddress : public LocalAddressSource
{
public:
    QString currentAddress() override { return QStringLiteral("192.0.2.10"); }
};

// A NAT-PMP announcement as RFC 6886 lays it out: version 0, opcode 128,
// result 0, seconds since the epoch of the mapping table, the external address.
QByteArray natPmp(quint32 external)
{
    QByteArray datagram(12, '\0');
    datagram[1] = char(128);
    datagram[7] = 9; // seconds since the router started
    for (int i = 0; i < 4; ++i)
        datagram[8 + i] = char(external >> (24 - 8 * i));
    return datagram;
}

// A PCP ANNOUNCE response (RFC 6887): version 2, R bit with opcode 0, result 0.
QByteArray pcpAnnounce()
{
    QByteArray datagram(24, '\0');
    datagram[0] = 2;
    datagram[1] = char(0x80);
    return datagram;
}

bool sendToAllHosts(const QByteArray& datagram)
{
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(RouterAnnouncements::Port);
    to.sin_addr.s_addr = htonl(INADDR_ALLHOSTS_GROUP);
    const ssize_t sent = ::sendto(socket, datagram.constData(), size_t(datagram.size()), 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(socket);
    return sent == datagram.size();
}

} // namespace

class TestServiceRouter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void datagrams_data();
    void datagrams();
    void announcementStartsACheckAtOnce();
    void announcementAloneChangesNothing();

private:
    bool m_private = false;
};

void TestServiceRouter::initTestCase()
{
    QString why;
    m_private = privatenetwork::enter(&why);
    if (!m_private)
        return;
    QVERIFY2(privatenetwork::loopbackMulticast(&why), qPrintable(why));
}

void TestServiceRouter::datagrams_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QString>("announced"); // empty: not an announcement

    QTest::newRow("NAT-PMP") << natPmp(0xC6336417) << "198.51.100.23";
    QTest::newRow("PCP ANNOUNCE") << pcpAnnounce() << "PCP";
    QByteArray failed = natPmp(0xC6336417);
    failed[3] = 3; // result: network failure
    QTest::newRow("NAT-PMP with an error") << failed << "";
    QTest::newRow("NAT-PMP request") << QByteArray(2, '\0') << "";
    QTest::newRow("NAT-PMP too long") << natPmp(0xC6336417) + "x"
                                      << "";
    QByteArray pcpRequest = pcpAnnounce();
    pcpRequest[1] = 0; // no R bit: a client's request
    QTest::newRow("PCP request") << pcpRequest << "";
    QTest::newRow("PCP too short") << pcpAnnounce().left(23) << "";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestServiceRouter::datagrams()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QString, announced);
    QCOMPARE(RouterAnnouncements::read(datagram).value_or(QString()), announced);
}

void TestServiceRouter::announcementStartsACheckAtOnce()
{
    if (!m_private)
        QSKIP("needs a network namespace of its own (CAP_NET_ADMIN)");
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    FixedLocalAddress local;
    PublicAddressChecker checker({echo.url()}, 2s);
    AddressWatcher watcher(local, checker, {1h, 1h}); // no check of its own for an hour
    RouterAnnouncements router;
    QVERIFY(router.isListening());
    QObject::connect(&router, &RouterAnnouncements::announced, &watcher, &AddressWatcher::checkNow);
    QSignalSpy checks(&watcher, &AddressWatcher::publicCheckFinished);
    watcher.start();
    QTRY_COMPARE(checks.size(), 1);

    echo.setAddress("198.51.100.23");
    QSignalSpy announced(&router, &RouterAnnouncements::announced);
    QElapsedTimer sinceSent;
    sinceSent.start();
    QVERIFY(sendToAllHosts(natPmp(0xC6336417)));
    QTRY_COMPARE_WITH_TIMEOUT(echo.requestCount(), 2, testtime::scaled(2000));
    QCOMPARE_LT(sinceSent.elapsed(), testtime::scaled(100));
    QCOMPARE(announced.size(), 1);
    QTRY_COMPARE(watcher.current().publicIp, QStringLiteral("198.51.100.23"));

    // The router repeats its announcement: one check answered them all.
    QVERIFY(sendToAllHosts(natPmp(0xC6336417)));
    QVERIFY(sendToAllHosts(pcpAnnounce()));
    QTest::qWait(200);
    QCOMPARE(announced.size(), 1);
    QCOMPARE(echo.requestCount(), 2);
}

void TestServiceRouter::announcementAloneChangesNothing()
{
    if (!m_private)
        QSKIP("needs a network namespace of its own (CAP_NET_ADMIN)");
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    FixedLocalAddress local;
    PublicAddressChecker checker({echo.url()}, 2s);
    AddressWatcher watcher(local, checker, {1h, 1h});
    RouterAnnouncements router;
    QObject::connect(&router, &RouterAnnouncements::announced, &watcher, &AddressWatcher::checkNow);
    QSignalSpy checks(&watcher, &AddressWatcher::publicCheckFinished);
    QSignalSpy changed(&watcher, &AddressWatcher::changed);
    watcher.start();
    QTRY_COMPARE(checks.size(), 1);

    // Behind carrier-grade NAT the router's address is not the public one.
    QVERIFY(sendToAllHosts(natPmp(0x64400001))); // 100.64.0.1
    QTRY_COMPARE(checks.size(), 2);
    QCOMPARE(watcher.current().publicIp, QStringLiteral("203.0.113.7"));
    QCOMPARE(changed.size(), 0);
    // Nor does a datagram that is no announcement start a check.
    QVERIFY(sendToAllHosts(QByteArray("hello")));
    QTest::qWait(200);
    QCOMPARE(checks.size(), 2);
}

QTEST_GUILESS_MAIN(TestServiceRouter)
#include "tst_service_router.moc"
