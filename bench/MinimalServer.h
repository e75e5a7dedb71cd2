#pragma once

// The floor for the service's exchanges: a minimal one-thread server on
// loopback that answers every connection at once with the same reply (reads
// the command line, sends the reply, closes). No owner check, no parsing, no
// event loop.
#include <QByteArray>
#include <QtGlobal>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace bench {

class MinimalServer
{
public:
    explicit MinimalServer(QByteArray reply) : m_reply(std::move(reply))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 128);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~MinimalServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    MinimalServer(const MinimalServer&) = delete;
    MinimalServer& operator=(const MinimalServer&) = delete;

    quint16 port() const { return m_port; }

private:
    void run()
    {
        char buffer[4096];
        while (!m_stop) {
            pollfd listening{m_listener, POLLIN, 0};
            if (::poll(&listening, 1, 50) <= 0)
                continue;
            const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            const int one = 1;
            ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            QByteArray got;
            while (!got.contains('\n')) {
                const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                got.append(buffer, n);
            }
            ::send(connection, m_reply.constData(), size_t(m_reply.size()), MSG_NOSIGNAL);
            ::close(connection);
        }
    }

    QByteArray m_reply;
    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace bench
