// The package test's stand-in for an internet echo service, as a program of its
// own: answers every request on 127.0.0.1 with the address it was started with,
// then with each address read from its standard input, one a line. Prints its
// port first; ends when its input closes.
#include "support/EchoHttpServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <first address>\n", argv[0]);
        return 2;
    }
    EchoHttpServer server;
    server.setAddress(argv[1]);
    std::printf("%u\n", unsigned(server.port()));
    std::fflush(stdout);

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            server.setAddress(pending.left(end).trimmed());
            pending.remove(0, end + 1);
        }
    });
    return app.exec();
}
