// Finding who owns the other end of a loopback connection, and who may talk.
#include "service/listener/PeerPolicy.h"
#include "service/listener/SocketOwnerLookup.h"

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
};

void TestServiceOwner::ownConnectionIsOwnUser()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QVERIFY(client.waitForConnected(5000));
    QVERIFY(server.waitForNewConnection(5000));
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
    QVERIFY(server.waitForNewConnection(5000));
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
    QTest::newRow("unknown") << std::optional<Owner>() << false;
}

void TestServiceOwner::policy()
{
    QFETCH(std::optional<Owner>, owner);
    QFETCH(bool, allowed);
    QCOMPARE(peerMayTalk(owner, 1000), allowed);
}

QTEST_GUILESS_MAIN(TestServiceOwner)
#include "tst_service_owner.moc"
