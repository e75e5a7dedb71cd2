#include "echo_check/RouteProbe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace routeprobe {

namespace {

bool isLinkLocal(const in6_addr& address)
{
    return address.s6_addr[0] == 0xfe && (address.s6_addr[1] & 0xc0) == 0x80;
}

bool meansNoRoute(int error)
{
    return error == ENETUNREACH || error == EHOSTUNREACH || error == EADDRNOTAVAIL ||
           error == EAFNOSUPPORT || error == ENETDOWN;
}

} // namespace

std::optional<QString> noRouteTo(const QString& text, quint16 port)
{
    sockaddr_in6 target = {};
    target.sin6_family = AF_INET6;
    target.sin6_port = htons(port);
    if (!text.contains(QLatin1Char(':')) ||
        ::inet_pton(AF_INET6, text.toLatin1().constData(), &target.sin6_addr) != 1)
        return std::nullopt;
    const int probe = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) {
        if (meansNoRoute(errno))
            return QStringLiteral("IPv6 is not available here (%1)")
                .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    std::optional<QString> reason;
    if (::connect(probe, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        if (meansNoRoute(errno))
            reason = QStringLiteral("no route to %1 (%2)")
                         .arg(text, QString::fromLocal8Bit(std::strerror(errno)));
    } else if (!isLinkLocal(target.sin6_addr)) {
        // With only link-local addresses the kernel still connects, from one
        // that no router forwards.
        sockaddr_in6 source = {};
        socklen_t length = sizeof source;
        if (::getsockname(probe, reinterpret_cast<sockaddr*>(&source), &length) == 0 &&
            isLinkLocal(source.sin6_addr))
            reason = QStringLiteral("no IPv6 address to send to %1 from, only a link-local one")
                         .arg(text);
    }
    ::close(probe);
    return reason;
}

} // namespace routeprobe
