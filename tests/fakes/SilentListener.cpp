#include "fakes/SilentListener.h"

#include "fakes/LoopbackListener.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

SilentListener::SilentListener(quint16 port)
{
    m_listener = listenOnLoopback(port, &m_port);
    if (m_listener >= 0)
        m_thread = std::thread([this] { run(); });
}

SilentListener::~SilentListener()
{
    stop();
}

void SilentListener::stop()
{
    if (m_listener < 0)
        return;
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
    for (int connection : m_held)
        ::close(connection);
    m_held.clear();
    ::close(m_listener);
    m_listener = -1;
}

void SilentListener::run()
{
    while (!m_stopping) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        m_held.push_back(connection);
        ++m_connections;
    }
}
