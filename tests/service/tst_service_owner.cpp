// Finding who owns the other end of a loopback connection, and who may talk.
#include "common/PeerPolicy.h"
#include "common/SocketOwnerLookup.h"
#include "service/listener/RefusalSummary.h"

#include "support/Absence.h"
#include "support/TestTime.h"
#include <QTcpServer>
#include <QTcpSocket>

#include <QtTest>
#include <arpa/inet.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <unistd.h>

using Owner = SocketOwnerLookup::Owner;
Q_DECLARE_METATYPE(std::optional<Owner>)

class TestServiceOwner : public QObject
{
    Q_OBJECT
private slots:
    void ownConnectionIsOwnUser();
    void otherUsersConnection();
    void vanishedSocketHasNoOwner();
    void policy_data();
    void policy();
    void listenerOwner_data();
    void listenerOwner();
    void refusalsAreSummarised();
};

void TestServiceOwner::ownConnectionIsOwnUser()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QVERIFY(client.waitForConnected(testtime::scaled(5000)));
    QVERIFY(server.waitForNewConnection(testtime::scaled(5000)));
    QTcpSocket* accepted = server.nextPendingConnection();
    QVERIFY(accepted);

    SocketOwnerLookup lookup;
    const std::optional<Owner> owner = lookup.peerOwner(int(accepted->socketDescriptor()));
    QVERIFY(owner);
    QCOMPARE(owner->uid, ::getuid());
    QVERIFY(!owner->timeWait);

    // Asked the other way round, the same kernel tells the same user.
    const std::optional<Owner> serverSide = lookup.peerOwner(int(client.socketDescriptor()));
    QVERIFY(serverSide);
    QCOMPARE(serverSide->uid, ::getuid());
}

void TestServiceOwner::otherUsersConnection()
{
    if (::geteuid() != 0)
        QSKIP("needs root to make a socket that belongs to another user");
    // A socket belongs to the file-system user of the thread that made it.
    const uid_t other = 65534;
    ::setfsuid(other);
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ::setfsuid(0);
    QVERIFY(socket >= 0);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server.serverPort());
    QCOMPARE(::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    QVERIFY(server.waitForNewConnection(testtime::scaled(5000)));
    QTcpSocket* accepted = server.nextPendingConnection();
    QVERIFY(accepted);

    SocketOwnerLookup lookup;
    const std::optional<Owner> owner = lookup.peerOwner(int(accepted->socketDescriptor()));
    ::close(socket);
    QVERIFY(owner);
    QCOMPARE(owner->uid, other);
    QVERIFY(!peerMayTalk(owner, 0));
}

void TestServiceOwner::vanishedSocketHasNoOwner()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    self.sin_port = htons(1); // nothing is connected from port 1
    sockaddr_in other = self;
    other.sin_port = htons(server.serverPort());
    SocketOwnerLookup lookup;
    QVERIFY(!lookup.ownerOf(self, other));
    QVERIFY(!lookup.peerOwner(-1));
}

void TestServiceOwner::policy_data()
{
    QTest::addColumn<std::optional<Owner>>("owner");
    QTest::addColumn<bool>("allowed");
    const uid_t service = 1000;
    QTest::newRow("same user") << std::optional<Owner>(Owner{service, false}) << true;
    QTest::newRow("root") << std::optional<Owner>(Owner{0, false}) << true;
    QTest::newRow("other user") << std::optional<Owner>(Owner{1001, false}) << false;
    QTest::newRow("nobody") << std::optional<Owner>(Owner{65534, false}) << false;
    // Time-wait remnants report user 0 whoever made them.
    QTest::newRow("time-wait remnant") << std::optional<Owner>(Owner{0, true}) << false;
    // A connection still being set up reports user 0 too.
    QTest::newRow("being set up") << std::optional<Owner>(Owner{0, false, true}) << false;
    QTest::newRow("unknown") << std::optional<Owner>() << false;
}

void TestServiceOwner::policy()
{
    QFETCH(std::optional<Owner>, owner);
    QFETCH(bool, allowed);
    QCOMPARE(peerMayTalk(owner, 1000), allowed);
}

void TestServiceOwner::listenerOwner_data()
{
    QTest::addColumn<QHostAddress>("address");
    QTest::addColumn<bool>("holds127"); // whether it takes 127.0.0.1's connections
    QTest::newRow("127.0.0.1") << QHostAddress(QHostAddress::LocalHost) << true;
    QTest::newRow("0.0.0.0") << QHostAddress(QHostAddress::AnyIPv4) << true;
    QTest::newRow("[::], IPv4 too") << QHostAddress(QHostAddress::Any) << true;
    QTest::newRow("[::1]") << QHostAddress(QHostAddress::LocalHostIPv6) << false;
}

void TestServiceOwner::listenerOwner()
{
    QFETCH(QHostAddress, address);
    QFETCH(bool, holds127);
    QTcpServer server;
    if (!server.listen(address, 0))
        QSKIP(qPrintable(server.errorString()));
    SocketOwnerLookup lookup;
    QCOMPARE(lookup.listenerOwner(server.serverPort()),
             holds127 ? std::optional<uid_t>(::getuid()) : std::nullopt);
    const quint16 port = server.serverPort();
    server.close();
    QCOMPARE(lookup.listenerOwner(port), std::nullopt);
}

void TestServiceOwner::refusalsAreSummarised()
{
    QStringList lines;
    RefusalSummary summary(std::chrono::milliseconds(300),
                           [&lines](LogLevel level, const QString& text) {
                               QCOMPARE(level, LogLevel::Warning);
                               lines.append(text);
                           });
    // Each owner's first refusal is told at once; a flood after it, as one
    // line when the spell ends.
    summary.refused(std::nullopt);
    summary.refused(1);
    QCOMPARE(lines, (QStringList{"refused a connection whose owner cannot be told",
                                 "refused a connection from user 1"}));
    for (int i = 0; i < 500; ++i)
        summary.refused(i % 2 ? std::optional<uid_t>(1) : std::nullopt);
    QCOMPARE(lines.size(), 2);
    QTRY_COMPARE(lines.size(), 3);
    QCOMPARE(lines.last(), QStringLiteral("refused 500 more connections in the last 1 s (an owner "
                                          "that cannot be told, user 1)"));
    // The flood goes on: still one line per spell, and only for the known owners.
    summary.refused(1);
    QCOMPARE(lines.size(), 3);
    QTRY_COMPARE(lines.size(), 4);
    QCOMPARE(lines.last(), QStringLiteral("refused 1 more connection in the last 1 s (user 1)"));
    // A quiet spell: nothing more is said, and the next refusal is told at once.
    QVERIFY(neverWithin(700, [&] { return lines.size() > 4; }));
    summary.refused(1);
    QCOMPARE(lines.last(), QStringLiteral("refused a connection from user 1"));
}

QTEST_GUILESS_MAIN(TestServiceOwner)
#include "tst_service_owner.moc"
