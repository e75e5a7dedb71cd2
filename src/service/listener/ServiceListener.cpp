#include "service/listener/ServiceListener.h"

#include "common/PeerPolicy.h"
#include "common/SocketOwnerLookup.h"
#include "service/base/ServiceError.h"
#include "service/base/ServiceLog.h"
#include "service/listener/PortHolder.h"
#include "service/listener/ServiceConnection.h"

#include <QSocketNotifier>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A peer that opens connections and sends nothing cannot take every descriptor.
constexpr qsizetype MaxOpenConnections = 256;
// The window's requests come whole at once. While more than a few exchanges
// wait for theirs (a flood of slow connections), one that has not come whole
// within a second is closed, so that the window's are not kept waiting behind
// them.
constexpr qsizetype BusyConnections = 16;
constexpr std::chrono::milliseconds BusyTimeLimit(1000);

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ServiceListener::ServiceListener(RequestHandler& handler, SocketOwnerLookup& owners,
                                 std::chrono::milliseconds requestTimeout, QObject* parent)
    : QObject(parent), m_handler(handler), m_owners(owners), m_requestTimeout(requestTimeout),
      m_user(::getuid())
{
    // Checking a few times per time limit is precise enough and costs nothing
    // while no exchange is waiting.
    m_expiry.setInterval(std::clamp<std::chrono::milliseconds>(
        std::min(m_requestTimeout, BusyTimeLimit) / 4, std::chrono::milliseconds(10),
        std::chrono::milliseconds(1000)));
    connect(&m_expiry, &QTimer::timeout, this, &ServiceListener::closeExpired);
    m_resume.setSingleShot(true);
    m_resume.setInterval(std::chrono::milliseconds(200));
    connect(&m_resume, &QTimer::timeout, this, [this] { m_notifier->setEnabled(true); });
}

ServiceListener::~ServiceListener()
{
    qDeleteAll(m_open);
    delete m_notifier;
    if (m_socket >= 0)
        ::close(m_socket);
}

void ServiceListener::listenOn(quint16 port)
{
    m_address.sin_family = AF_INET;
    m_address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_address.sin_port = htons(port);
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (m_socket < 0 || ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(m_socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) != 0 ||
        ::listen(m_socket, 128) != 0) {
        const int error = errno;
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
        if (error == EADDRINUSE) {
            const QString holder = describePortHolder(port, m_owners);
            if (!holder.isEmpty())
                throw PortHeldError(holder.toStdString());
        }
        throw ServiceError(QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                               .arg(port)
                               .arg(systemError(error))
                               .toStdString());
    }
    m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ServiceListener::onIncoming);
}

void ServiceListener::onIncoming()
{
    // One connection per wake-up: the window makes one exchange at a time, so
    // a second accept would mostly find nothing, and a queue wakes us again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int socket = ::accept4(m_socket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket >= 0) {
            m_shortOfResources = false;
            serveConnection(socket);
            return;
        }
        switch (errno) {
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
            continue; // that one is gone; the next may be there
        case EAGAIN:
            return;
        default:
            // Out of descriptors or memory: the connections wait in the queue
            // while the service pauses, instead of waking it again at once.
            if (!m_shortOfResources)
                logLine(LogLevel::Warning,
                        QStringLiteral("cannot accept connections for a moment: %1")
                            .arg(systemError(errno)));
            m_shortOfResources = true;
            m_notifier->setEnabled(false);
            m_resume.start();
            return;
        }
    }
}

void ServiceListener::serveConnection(int socket)
{
    const std::optional<SocketOwnerLookup::Owner> owner = m_owners.peerOwner(socket, m_address);
    if (!peerMayTalk(owner, m_user)) {
        ::close(socket);
        m_refusals.refused(owner && !owner->timeWait && !owner->settingUp
                               ? std::optional<uid_t>(owner->uid)
                               : std::nullopt);
        return;
    }
    serveWaiting();
    if (m_open.size() >= MaxOpenConnections) {
        // The one that has waited longest makes room: its peer is the slowest,
        // and the newest is most likely the window.
        ServiceConnection* oldest = m_open.first();
        oldest->abandon({});
        onConnectionFinished(oldest);
        m_refusals.closed(QStringLiteral("room was needed for a newer one"));
    }
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
    const bool busy = m_open.size() > BusyConnections;
    const QList<ServiceConnection*> open = m_open;
    for (ServiceConnection* connection : open) {
        if (!connection->hasExpired() && !(busy && connection->waited() > BusyTimeLimit))
            continue;
        connection->abandon({});
        onConnectionFinished(connection);
        m_refusals.closed(QStringLiteral("the request was not complete in time"));
    }
}
