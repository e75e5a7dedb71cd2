// A client of the service for tests that must run it as another user:
//   velmora_service_probe <port> ask <command>      prints the reply, one line each
//   velmora_service_probe <port> save <recipients>  saves default settings with those
//                                                   recipients and waits for the close
//   velmora_service_probe <port> send <recipients>  the same with the window's own
//                                                   client, which talks only to a
//                                                   service of its own user
// "ask" and "save" send their bytes whoever listens, so that a stranger reaches
// the service's own check. Exit code 0 when the service answered (or took the
// list), 3 when it closed the connection without an answer (or the window's
// client would not talk to it), 2 on bad arguments.
#include "support/RawClient.h"

#include "common/AlertSettings.h"
#include "common/Framing.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceLinkError.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int ask(quint16 port, const char* command)
{
    const RawReply reply = rawExchange(port, {framing::encodeLine(command)}, false);
    QByteArray rest = reply.bytes;
    try {
        const std::optional<qint32> count = framing::takeCount(rest);
        if (!count)
            return 3;
        for (qint32 i = 0; i < *count; ++i) {
            const std::optional<QByteArray> line = framing::takeLine(rest);
            if (!line)
                return 3;
            std::printf("%s\n", line->constData());
        }
    } catch (const framing::FramingError&) {
        return 3;
    }
    return 0;
}

int save(quint16 port, const char* recipients)
{
    AlertSettings settings;
    settings.set(Setting::Recipients, QByteArray(recipients));
    // Our end stays open until the service has closed its own, so that it can
    // still see who we are when it looks.
    const RawReply reply = rawExchange(port,
                                       {framing::encodeLine(service::SaveSettings) +
                                        framing::encodeCountedList(settings.toSaveList({}))},
                                       true);
    return reply.closedByService ? 0 : 3;
}

int send(quint16 port, const char* recipients)
{
    TcpClient client(QStringLiteral("127.0.0.1"), port);
    try {
        ServiceTransaction transaction(client);
        AlertSettings settings;
        settings.set(Setting::Recipients, QByteArray(recipients));
        service::sendSettings(transaction, settings.toSaveList({}));
        return 0;
    } catch (const ServiceLinkError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4)
        return 2;
    const auto port = quint16(std::atoi(argv[1]));
    if (std::strcmp(argv[2], "ask") == 0)
        return ask(port, argv[3]);
    if (std::strcmp(argv[2], "save") == 0)
        return save(port, argv[3]);
    if (std::strcmp(argv[2], "send") == 0)
        return send(port, argv[3]);
    return 2;
}
