#pragma once

#include <netinet/in.h>
#include <optional>
#include <sys/types.h>

// Who owns the TCP socket at the far end of a local connection, found through
// the kernel's socket diagnostics (NETLINK_SOCK_DIAG). TCP carries no peer
// credentials of its own, and both ends of a loopback connection live in this
// kernel, so the kernel can tell.
class SocketOwnerLookup
{
public:
    struct Owner
    {
        uid_t uid = 0;
        // The socket is a time-wait remnant: its owner is forgotten and the
        // kernel reports user 0 for it, so the user id means nothing.
        bool timeWait = false;
    };

    SocketOwnerLookup(); // throws ServiceError
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

private:
    int m_socket = -1;
    unsigned int m_sequence = 0;
};
