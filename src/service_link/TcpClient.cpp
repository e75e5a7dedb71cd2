#include "service_link/TcpClient.h"

#include "common/ErrorText.h"
#include "common/Framing.h"
#include "common/PeerPolicy.h"
#include "common/SocketOwnerLookup.h"
#include "service_link/ServiceLinkError.h"

#include <QDeadlineTimer>

#include <algorithm>
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

[[noreturn]] void fail(const QString& message,
                       ServiceLinkError::Cause cause = ServiceLinkError::Cause::Failed)
{
    throw ServiceLinkError(message.toStdString(), cause);
}

QString duration(std::chrono::milliseconds time)
{
    return time.count() % 1000 == 0 ? QStringLiteral("%1 s").arg(time.count() / 1000)
                                    : QStringLiteral("%1 ms").arg(time.count());
}

} // namespace

TcpClient::TcpClient(QString host, quint16 port, std::chrono::milliseconds timeLimit)
    : m_host(std::move(host)), m_port(port), m_timeLimit(timeLimit)
{
}

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

void TcpClient::open(Attempt attempt)
{
    close();
    if (attempt == Attempt::UnlessUnanswered && m_unanswered.isValid() &&
        m_unanswered.elapsed() < UnansweredPauseInLimits * m_timeLimit.count())
        fail(QStringLiteral("the service did not answer an exchange in time a moment ago"),
             ServiceLinkError::Cause::NoAnswerInTime);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    if (inet_pton(AF_INET, m_host.toLatin1().constData(), &address.sin_addr) != 1)
        fail(QStringLiteral("'%1' is not an IPv4 address").arg(m_host));

    m_deadline = QDeadlineTimer(m_timeLimit);
    // Non-blocking throughout: every wait is a poll that ends with the exchange's time.
    m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_socket < 0)
        fail(QStringLiteral("cannot create a socket: %1").arg(systemError(errno)));
    m_received.clear();
    m_peerClosed = false;
    try {
        connectWithinLimit(&address, sizeof address);
    } catch (...) {
        close();
        throw;
    }
    if (!listenerIsTrusted(m_socket)) {
        // Closed with nothing sent and nothing read.
        close();
        fail(QStringLiteral("%1:%2 is held by a program of another user").arg(m_host).arg(m_port),
             ServiceLinkError::Cause::HeldByAnotherUser);
    }
    // Small requests and replies: send each at once.
    const int one = 1;
    ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void TcpClient::connectWithinLimit(const void* address, unsigned addressLength)
{
    int result;
    do {
        result = ::connect(m_socket, static_cast<const sockaddr*>(address), addressLength);
    } while (result < 0 && errno == EINTR);
    int error = result < 0 ? errno : 0;
    if (error == EINPROGRESS) {
        waitUntilReady(POLLOUT);
        socklen_t length = sizeof error;
        if (::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
    }
    if (error == 0)
        return;
    const bool refused = error == ECONNREFUSED;
    if (refused)
        m_unanswered.invalidate(); // nothing is there, so nothing hangs either
    fail(QStringLiteral("cannot connect to %1:%2: %3")
             .arg(m_host)
             .arg(m_port)
             .arg(systemError(error)),
         refused ? ServiceLinkError::Cause::NotRunning : ServiceLinkError::Cause::Failed);
}

void TcpClient::waitUntilReady(short events)
{
    for (;;) {
        const qint64 left = m_deadline.remainingTime();
        pollfd ready{m_socket, events, 0};
        const int n = left > 0 ? ::poll(&ready, 1, int(std::min<qint64>(left, 60000))) : 0;
        if (n > 0)
            return;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(QStringLiteral("cannot wait for the service: %1").arg(systemError(errno)));
        if (m_deadline.hasExpired()) {
            m_unanswered.start();
            fail(QStringLiteral("the service did not answer within %1").arg(duration(m_timeLimit)),
                 ServiceLinkError::Cause::NoAnswerInTime);
        }
    }
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
        const ssize_t n = ::send(m_socket, bytes.constData() + sent, size_t(bytes.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            sent += n;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntilReady(POLLOUT);
            continue;
        }
        fail(QStringLiteral("cannot send to the service: %1").arg(systemError(errno)));
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
        const ssize_t n = ::recv(m_socket, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            m_unanswered.invalidate();
            m_received.append(chunk, n);
            return true;
        }
        if (n == 0) {
            m_unanswered.invalidate();
            m_peerClosed = true;
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntilReady(POLLIN);
            continue;
        }
        fail(QStringLiteral("cannot read from the service: %1").arg(systemError(errno)));
    }
}

void TcpClient::waitForPeerClose()
{
    if (m_socket < 0 || m_peerClosed)
        return;
    // What the peer sends meanwhile is dropped: only its end matters.
    while (receiveMore())
        m_received.clear();
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
