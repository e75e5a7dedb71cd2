// Status exchanges per second through the service transaction, beside the same
// exchange written with raw sockets, against a minimal server on loopback. The
// floor makes the same calls as the client (connect, send the command line,
// read the whole reply, close), with nothing around them.
// Usage: bench_service_link [exchanges]   (goal: the transaction within 1.5x of raw)
#include "MinimalServer.h"
#include "common/Framing.h"
#include "service_link/ServiceCommands.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QByteArray reply =
    framing::encodeCountedList({"bench", "host.example", "203.0.113.7", "192.168.1.20"});

void rawExchange(quint16 port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::send(s, "UpdateStatus\r\n", 14, MSG_NOSIGNAL);
    char buf[4096];
    ssize_t total = 0;
    while (total < reply.size()) {
        const ssize_t n = ::recv(s, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        total += n;
    }
    ::shutdown(s, SHUT_WR);
    ::close(s);
}

template <typename F> double rate(int count, F exchange)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        exchange();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return count / elapsed.count();
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
    bench::MinimalServer responder(reply);
    TcpClient client(service::Host, responder.port());
    const auto transaction = [&] {
        ServiceTransaction t(client);
        const QList<QByteArray> lines = service::request(t, service::UpdateStatus);
        if (lines.size() != 4)
            std::abort();
    };
    // Warm up both paths, then alternate rounds to share the machine's noise.
    rate(500, transaction);
    rate(500, [&] { rawExchange(responder.port()); });
    double raw = 0, tx = 0;
    for (int round = 0; round < 3; ++round) {
        raw += rate(count / 3, [&] { rawExchange(responder.port()); });
        tx += rate(count / 3, transaction);
    }
    raw /= 3;
    tx /= 3;
    std::printf("raw sockets (floor): %10.0f exchanges/s  (the same calls as the client: "
                "connect, send the command, read the reply, close)\n",
                raw);
    std::printf("service transaction: %10.0f exchanges/s\n", tx);
    std::printf("ratio (raw / transaction): %.2f  (goal <= 1.5)\n", raw / tx);
    return 0;
}
