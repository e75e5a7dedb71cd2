#pragma once

#include <QtGlobal>
#include <linux/inet_diag.h>
#include <netinet/in.h>
#include <optional>
#include <stdexcept>
#include <sys/types.h>

// The kernel's socket diagnostics cannot be opened.
class SocketOwnerError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Who owns a TCP socket of this computer, found through the kernel's socket
// diagnostics (NETLINK_SOCK_DIAG). TCP carries no peer credentials of its own,
// and both ends of a loopback connection live in this kernel, so the kernel
// can tell: the service asks it about each window that connects, the window
// about the service it connected to.
class SocketOwnerLookup
{
public:
    struct Owner
    {
        uid_t uid = 0;
        // The socket is a time-wait remnant: its owner is forgotten and the
        // kernel reports user 0 for it, so the user id means nothing.
        bool timeWait = false;
        // The connection is still being set up: the kernel reports user 0 for
        // it too, so the user id means nothing yet.
        bool settingUp = false;
    };

    SocketOwnerLookup(); // throws SocketOwnerError
    ~SocketOwnerLookup();
    SocketOwnerLookup(const SocketOwnerLookup&) = delete;
    SocketOwnerLookup& operator=(const SocketOwnerLookup&) = delete;

    // The owner of the peer's socket of the connected IPv4 socket `descriptor`;
    // nothing when the kernel no longer knows that socket.
    std::optional<Owner> peerOwner(int descriptor);
    // The same, when the caller knows its own end (a listener's address).
    std::optional<Owner> peerOwner(int descriptor, const sockaddr_in& self);

    // The owner of the TCP socket whose own end is `self` and far end `other`.
    std::optional<Owner> ownerOf(const sockaddr_in& self, const sockaddr_in& other);

    // The owner of the socket listening on 127.0.0.1 (or on every address, IPv4
    // or IPv6, which takes 127.0.0.1 too) at `port`; nothing when none listens there.
    std::optional<uid_t> listenerOwner(quint16 port);

private:
    // Sends one question about TCP sockets of `family` (AF_INET, AF_INET6) in
    // `states`; false when it cannot.
    bool ask(quint8 family, quint16 flags, quint32 states, const inet_diag_sockid& socket);
    // The owner of the socket of `family` listening at `port` on an address
    // that covers 127.0.0.1.
    std::optional<uid_t> listenerOwner(quint8 family, quint16 port);

    int m_socket = -1;
    unsigned int m_sequence = 0;
};
