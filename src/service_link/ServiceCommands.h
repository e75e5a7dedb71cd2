#pragma once

#include "common/ServiceProtocol.h"
#include "service_link/ServiceLinkError.h"
#include "service_link/ServiceTransaction.h"

#include <QByteArray>
#include <QList>

// The window's side of the commands: each call sends one and reads its reply.
namespace service {

// Sends a command line and reads its counted reply.
QList<QByteArray> request(ServiceTransaction& transaction, const char* command);

// Sends "SaveSettings" and the counted list ("18" and the 18 values), then the
// end of its input; reads nothing, but waits, within the exchange's time limit,
// for the service to close its end: a save is stored only once it has.
void sendSettings(ServiceTransaction& transaction, const QList<QByteArray>& saveList);

// Sends "SaveKeyedSettings" and the counted list of "key=value" lines, the same
// way: only to a service that answered "GetKeyedSettings".
void sendKeyedSettings(ServiceTransaction& transaction, const QList<QByteArray>& lines);

// Line n of a reply; throws ServiceLinkError when the reply is shorter.
const QByteArray& replyLine(const QList<QByteArray>& reply, int n);

} // namespace service
