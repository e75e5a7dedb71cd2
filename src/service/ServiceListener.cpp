#include "service/ServiceListener.h"

#include "service/PeerPolicy.h"
#include "service/ServiceConnection.h"
#include "service/ServiceError.h"
#include "service/ServiceLog.h"
#include "service/SocketOwnerLookup.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <unistd.h>

namespace {

// A peer that opens connections and sends nothing cannot take every descriptor.
constexpr qsizetype MaxOpenConnections = 256;

} // namespace

ServiceListener::ServiceListener(RequestHandler& handler, SocketOwnerLookup& owners,
                                 std::chrono::milliseconds requestTimeout, QObject* parent)
    : QTcpServer(parent), m_handler(handler), m_owners(owners), m_requestTimeout(requestTimeout),
      m_user(::getuid())
{
    // Checking a few times per time limit is precise enough and costs nothing
    // while no exchange is waiting.
    m_expiry.setInterval(std::clamp<std::chrono::milliseconds>(
        m_requestTimeout / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(1000)));
    connect(&m_expiry, &QTimer::timeout, this, &ServiceListener::closeExpired);
    // QTcpServer stops accepting after an error such as running out of
    // descriptors; the window must find the service again once that passes.
    m_resume.setSingleShot(true);
    m_resume.setInterval(std::chrono::seconds(1));
    connect(&m_resume, &QTimer::timeout, this, &QTcpServer::resumeAccepting);
    connect(this, &QTcpServer::acceptError, this, &ServiceListener::onAcceptError);
}

void ServiceListener::onAcceptError(QAbstractSocket::SocketError)
{
    logLine(QStringLiteral("cannot accept connections for a moment: %1").arg(errorString()));
    m_resume.start();
}

ServiceListener::~ServiceListener()
{
    qDeleteAll(m_open);
}

void ServiceListener::listenOn(quint16 port)
{
    setListenBacklogSize(128);
    if (!listen(QHostAddress(QHostAddress::LocalHost), port))
        throw ServiceError(QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                               .arg(port)
                               .arg(errorString())
                               .toStdString());
    // Hand over a connection once its request has arrived: the exchange is
    // then served in one go, without waiting for the socket a second time.
    m_address.sin_family = AF_INET;
    m_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_address.sin_port = htons(serverPort());
    const int seconds = 1;
    ::setsockopt(int(socketDescriptor()), IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
}

void ServiceListener::incomingConnection(qintptr descriptor)
{
    const int socket = int(descriptor);
    const std::optional<SocketOwnerLookup::Owner> owner = m_owners.peerOwner(socket, m_address);
    if (!peerMayTalk(owner, m_user)) {
        ::close(socket);
        logLine(owner && !owner->timeWait
                    ? QStringLiteral("refused a connection from user %1").arg(owner->uid)
                    : QStringLiteral("refused a connection whose owner cannot be told"));
        return;
    }
    if (m_open.size() >= MaxOpenConnections) {
        ::close(socket);
        logLine(QStringLiteral("refused a connection: %1 exchanges are still waiting")
                    .arg(m_open.size()));
        return;
    }
    serveWaiting();
    auto* connection =
        new ServiceConnection(socket, m_handler, QDeadlineTimer(m_requestTimeout), this);
    if (connection->serve()) {
        delete connection;
        return;
    }
    connect(connection, &ServiceConnection::finished, this, &ServiceListener::onConnectionFinished);
    m_open.append(connection);
    if (!m_expiry.isActive())
        m_expiry.start();
}

void ServiceListener::serveWaiting()
{
    // A client that saves and then asks again has sent all of its save before
    // it opened the next connection: finish that first, so that the answer
    // already holds the saved values.
    const QList<ServiceConnection*> open = m_open;
    for (ServiceConnection* connection : open) {
        if (connection->serve())
            onConnectionFinished(connection);
    }
}

void ServiceListener::onConnectionFinished(ServiceConnection* connection)
{
    m_open.removeOne(connection);
    connection->deleteLater();
    if (m_open.isEmpty())
        m_expiry.stop();
}

void ServiceListener::closeExpired()
{
    const QList<ServiceConnection*> open = m_open;
    for (ServiceConnection* connection : open) {
        if (!connection->hasExpired())
            continue;
        connection->abandon(QStringLiteral("the request was not complete in time"));
        onConnectionFinished(connection);
    }
}
