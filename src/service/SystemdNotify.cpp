#include "service/SystemdNotify.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

bool notifySystemd(const QByteArray& state)
{
    const QByteArray name = qgetenv("NOTIFY_SOCKET");
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    // A path, or "@name" for a socket in the abstract namespace.
    if (name.size() < 2 || size_t(name.size()) > sizeof(address.sun_path) ||
        (name.front() != '/' && name.front() != '@'))
        return false;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    if (name.front() == '@')
        address.sun_path[0] = '\0';
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(name.size()) +
                                       (name.front() == '/' ? 1 : 0));

    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    const ssize_t sent = ::sendto(socket, state.constData(), size_t(state.size()), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), length);
    ::close(socket);
    return sent == state.size();
}
