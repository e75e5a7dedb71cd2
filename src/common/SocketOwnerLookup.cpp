#include "common/SocketOwnerLookup.h"

#include <QString>
#include <cerrno>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// inet_diag's timer value for time-wait sockets.
constexpr quint8 TimeWaitTimer = 3;

} // namespace

SocketOwnerLookup::SocketOwnerLookup()
{
    m_socket = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (m_socket < 0)
        throw SocketOwnerError(QStringLiteral("cannot open the socket diagnostics: %1")
                                   .arg(QString::fromLocal8Bit(std::strerror(errno)))
                                   .toStdString());
}

SocketOwnerLookup::~SocketOwnerLookup()
{
    ::close(m_socket);
}

std::optional<SocketOwnerLookup::Owner> SocketOwnerLookup::peerOwner(int descriptor)
{
    sockaddr_in self{};
    socklen_t selfSize = sizeof self;
    if (::getsockname(descriptor, reinterpret_cast<sockaddr*>(&self), &selfSize) != 0 ||
        self.sin_family != AF_INET)
        return std::nullopt;
    return peerOwner(descriptor, self);
}

std::optional<SocketOwnerLookup::Owner> SocketOwnerLookup::peerOwner(int descriptor,
                                                                     const sockaddr_in& self)
{
    sockaddr_in peer{};
    socklen_t peerSize = sizeof peer;
    if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
        peer.sin_family != AF_INET)
        return std::nullopt;
    return ownerOf(peer, self);
}

bool SocketOwnerLookup::ask(quint8 family, quint16 flags, quint32 states,
                            const inet_diag_sockid& socket)
{
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | flags;
    message.header.nlmsg_seq = ++m_sequence;
    message.request.sdiag_family = family;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = states;
    message.request.id = socket;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do {
        sent = ::sendto(m_socket, &message, sizeof message, 0,
                        reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
    } while (sent < 0 && errno == EINTR);
    return sent == ssize_t(sizeof message);
}

std::optional<SocketOwnerLookup::Owner> SocketOwnerLookup::ownerOf(const sockaddr_in& self,
                                                                   const sockaddr_in& other)
{
    inet_diag_sockid socket{};
    socket.idiag_sport = self.sin_port;
    socket.idiag_dport = other.sin_port;
    socket.idiag_src[0] = self.sin_addr.s_addr;
    socket.idiag_dst[0] = other.sin_addr.s_addr;
    socket.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    socket.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    if (!ask(AF_INET, 0, ~0u, socket)) // one exact socket, not a dump
        return std::nullopt;

    // The kernel answers while handling the request, so the answer is waiting.
    alignas(nlmsghdr) char buffer[8192];
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t received = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return std::nullopt;
        int size = int(received);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, size);
             header = NLMSG_NEXT(header, size)) {
            if (header->nlmsg_seq != m_sequence)
                continue; // a late answer to an earlier question
            if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
                header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                return std::nullopt; // NLMSG_ERROR: no such socket
            const auto* diag = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
            Owner owner;
            owner.uid = diag->idiag_uid;
            owner.timeWait = diag->idiag_timer == TimeWaitTimer;
            owner.settingUp = diag->idiag_state == TCP_SYN_RECV;
            return owner;
        }
    }
    return std::nullopt;
}

std::optional<uid_t> SocketOwnerLookup::listenerOwner(quint16 port)
{
    // An IPv6 socket on [::] that also takes IPv4 holds 127.0.0.1 as well.
    if (const std::optional<uid_t> owner = listenerOwner(AF_INET, port))
        return owner;
    return listenerOwner(AF_INET6, port);
}

namespace {

// Whether a listener's own address (as the kernel's socket diagnostics give it)
// takes connections to 127.0.0.1.
bool coversLoopback(quint8 family, const quint32 (&address)[4])
{
    const quint32 loopback = htonl(INADDR_LOOPBACK);
    if (family == AF_INET)
        return address[0] == loopback || address[0] == htonl(INADDR_ANY);
    // [::], [::ffff:127.0.0.1] or [::ffff:0.0.0.0]
    const bool mapped = address[0] == 0 && address[1] == 0 && address[2] == htonl(0xffff);
    return (address[0] == 0 && address[1] == 0 && address[2] == 0 && address[3] == 0) ||
           (mapped && (address[3] == loopback || address[3] == htonl(INADDR_ANY)));
}

} // namespace

std::optional<uid_t> SocketOwnerLookup::listenerOwner(quint8 family, quint16 port)
{
    if (!ask(family, NLM_F_DUMP, 1u << TCP_LISTEN, inet_diag_sockid{}))
        return std::nullopt;

    // A dump comes in several parts; read them all, so that no part is left
    // for the next question. Bounded: a computer has only so many listeners.
    std::optional<uid_t> found;
    alignas(nlmsghdr) char buffer[16384];
    for (int part = 0; part < 4096; ++part) {
        const ssize_t received = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return found;
        int size = int(received);
        for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, size);
             header = NLMSG_NEXT(header, size)) {
            if (header->nlmsg_seq != m_sequence)
                continue;
            if (header->nlmsg_type == NLMSG_DONE || header->nlmsg_type == NLMSG_ERROR)
                return found;
            if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY ||
                header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
                continue;
            const auto* diag = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
            if (!found && ntohs(diag->id.idiag_sport) == port &&
                coversLoopback(family, diag->id.idiag_src))
                found = diag->idiag_uid;
        }
    }
    return found;
}
