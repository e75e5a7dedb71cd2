#include "service_link/ServiceCommands.h"

#include <QString>

namespace service {

QList<QByteArray> request(ServiceTransaction& transaction, const char* command)
{
    transaction.client().WriteLine(command);
    QList<QByteArray> reply;
    transaction.client().ReadCountedList(reply);
    return reply;
}

namespace {

void sendList(ServiceTransaction& transaction, const char* command, const QList<QByteArray>& list)
{
    transaction.client().WriteLine(command);
    transaction.client().WriteCountedList(list);
    // A service that reads to the end of the input sees it at once.
    transaction.client().finishSending();
    // The service asks the kernel whose connection this is when it takes it.
    // Once a closed connection has been acknowledged, the kernel keeps no owner
    // for it, and the service would turn the settings away unread when it is
    // slow to take them (busy, or paused). So the connection stays open until
    // the service has closed its end; one that does not in time has not taken them.
    transaction.client().waitForPeerClose();
}

} // namespace

void sendSettings(ServiceTransaction& transaction, const QList<QByteArray>& saveList)
{
    sendList(transaction, SaveSettings, saveList);
}

void sendKeyedSettings(ServiceTransaction& transaction, const QList<QByteArray>& lines)
{
    sendList(transaction, SaveKeyedSettings, lines);
}

const QByteArray& replyLine(const QList<QByteArray>& reply, int n)
{
    if (n >= reply.size())
        throw ServiceLinkError(
            QStringLiteral("the service's reply has %1 lines; line %2 is missing")
                .arg(reply.size())
                .arg(n)
                .toStdString());
    return reply[n];
}

} // namespace service
