#include "support/RawClient.h"

#include <QDeadlineTimer>
#include <QThread>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawReply rawExchange(quint16 port, const QList<QByteArray>& pieces, bool shutdownWrite, int waitMs,
                     int pauseMs)
{
    RawReply reply;
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return reply;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        return reply;
    }
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (i > 0 && pauseMs > 0)
            QThread::msleep(ulong(pauseMs));
        const QByteArray& piece = pieces.at(i);
        qsizetype sent = 0;
        while (sent < piece.size()) {
            const ssize_t n =
                ::send(socket, piece.constData() + sent, size_t(piece.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
    }
    if (shutdownWrite)
        ::shutdown(socket, SHUT_WR);
    const QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired()) {
        pollfd entry{socket, POLLIN, 0};
        if (::poll(&entry, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char chunk[65536];
        const ssize_t n = ::recv(socket, chunk, sizeof chunk, 0);
        if (n > 0) {
            reply.bytes.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        reply.closedByService = true;
        break;
    }
    ::close(socket);
    return reply;
}
