#include "service_link/TcpClient.h"

#include "common/ErrorText.h"
#include "common/Framing.h"
#include "common/PeerPolicy.h"
#include "common/SocketOwnerLookup.h"
#include "service_link/ServiceLinkError.h"

#include <QDeadlineTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

[[noreturn]] void fail(const QString& message)
{
    throw ServiceLinkError(message.toStdString());
}

} // namespace

TcpClient::TcpClient(QString host, quint16 port) : m_host(std::move(host)), m_port(port) {}

TcpClient::~TcpClient()
{
    close();
}

bool TcpClient::listenerIsTrusted(int socket)
{
    try {
        if (!m_owners)
            m_owners = std::make_unique<SocketOwnerLookup>();
    } catch (const SocketOwnerError&) {
        return false;
    }
    // Right after the connect the service's end may, rarely, still be in the
    // making, with no owner yet: ask again, briefly.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const std::optional<SocketOwnerLookup::Owner> owner = m_owners->peerOwner(socket);
        if (!owner || !owner->settingUp)
            return peerMayTalk(owner, ::getuid());
        ::poll(nullptr, 0, 1);
    }
    return false;
}

void TcpClient::open()
{
    close();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    if (inet_pton(AF_INET, m_host.toLatin1().constData(), &address.sin_addr) != 1)
        fail(QStringLiteral("'%1' is not an IPv4 address").arg(m_host));

    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        fail(QStringLiteral("cannot create a socket: %1").arg(systemError(errno)));
    int result;
    do {
        result = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        const int error = errno;
        ::close(socket);
        fail(QStringLiteral("cannot connect to %1:%2: %3")
                 .arg(m_host)
                 .arg(m_port)
                 .arg(systemError(error)));
    }
    if (!listenerIsTrusted(socket)) {
        // Closed with nothing sent and nothing read.
        ::close(socket);
        fail(QStringLiteral("%1:%2 is held by a program of another user").arg(m_host).arg(m_port));
    }
    // Small requests and replies: send each at once.
    const int one = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_socket = socket;
    m_received.clear();
    m_peerClosed = false;
}

void TcpClient::close()
{
    if (m_socket < 0)
        return;
    ::shutdown(m_socket, SHUT_WR);
    ::close(m_socket);
    m_socket = -1;
    m_received.clear();
    m_peerClosed = false;
}

void TcpClient::finishSending()
{
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_WR);
}

void TcpClient::sendAll(const QByteArray& bytes)
{
    if (m_socket < 0)
        fail(QStringLiteral("the connection to the service is not open"));
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(m_socket, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(QStringLiteral("cannot send to the service: %1").arg(systemError(errno)));
        }
        sent += n;
    }
}

bool TcpClient::receiveMore()
{
    if (m_socket < 0)
        fail(QStringLiteral("the connection to the service is not open"));
    if (m_peerClosed)
        return false;
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::recv(m_socket, chunk, sizeof chunk, 0);
        if (n > 0) {
            m_received.append(chunk, n);
            return true;
        }
        if (n == 0) {
            m_peerClosed = true;
            return false;
        }
        if (errno != EINTR)
            fail(QStringLiteral("cannot read from the service: %1").arg(systemError(errno)));
    }
}

void TcpClient::waitForPeerClose(std::chrono::milliseconds limit)
{
    if (m_socket < 0 || m_peerClosed)
        return;
    const QDeadlineTimer deadline(limit);
    char chunk[4096];
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return;
        pollfd readable{m_socket, POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(left));
        if (ready == 0)
            return;
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        const ssize_t n = ::recv(m_socket, chunk, sizeof chunk, 0);
        if (n == 0) {
            m_peerClosed = true;
            return;
        }
        if (n < 0 && errno != EINTR)
            return;
    }
}

void TcpClient::WriteLine(const QByteArray& text)
{
    sendAll(framing::encodeLine(text));
}

void TcpClient::WriteCountedList(const QList<QByteArray>& lines)
{
    sendAll(framing::encodeCountedList(lines));
}

QByteArray TcpClient::ReadLine()
{
    for (;;) {
        try {
            if (auto line = framing::takeLine(m_received))
                return *line;
        } catch (const framing::FramingError& e) {
            fail(errorText(e));
        }
        if (!receiveMore())
            fail(QStringLiteral("the service closed the connection in the middle of a line"));
    }
}

void TcpClient::ReadCountedList(QList<QByteArray>& lines)
{
    std::optional<qint32> count;
    while (!(count = framing::takeCount(m_received))) {
        if (!receiveMore())
            fail(QStringLiteral("the service closed the connection before sending a reply"));
    }
    for (qint32 i = 0; i < *count; ++i)
        lines.append(ReadLine());
}
