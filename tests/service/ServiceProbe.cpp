// A client of the service for tests that must run it as another user:
//   velmora_service_probe <port> ask <command>      prints the reply, one line each
//   velmora_service_probe <port> save <recipients>  saves default settings with those
//                                                   recipients and waits for the close
//   velmora_service_probe <port> send <recipients>  the same, closing at once as the
//                                                   window does
// Exit code 0 when the service answered (or took the list), 3 when it closed the
// connection without an answer, 2 on bad arguments.
#include "common/AlertSettings.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceLinkError.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char* argv[])
{
    if (argc != 4)
        return 2;
    const auto port = quint16(std::atoi(argv[1]));
    TcpClient client(QStringLiteral("127.0.0.1"), port);
    try {
        ServiceTransaction transaction(client);
        if (std::strcmp(argv[2], "ask") == 0) {
            for (const QByteArray& line : service::request(transaction, argv[3]))
                std::printf("%s\n", line.constData());
            return 0;
        }
        const bool waitForClose = std::strcmp(argv[2], "save") == 0;
        if (!waitForClose && std::strcmp(argv[2], "send") != 0)
            return 2;
        AlertSettings settings;
        settings.recipients = argv[3];
        service::sendSettings(transaction, settings.toSaveList());
        if (!waitForClose)
            return 0;
        // Keep our end open until the service has closed its own, so that it
        // can still see who we are when it looks.
        try {
            client.ReadLine();
        } catch (const ServiceLinkError&) {
        }
        return 0;
    } catch (const ServiceLinkError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
}
