#pragma once

#include "common/ServiceProtocol.h"
#include "service_link/ServiceLinkError.h"
#include "service_link/ServiceTransaction.h"

#include <QByteArray>
#include <QList>
#include <chrono>

// The window's side of the four commands: each call sends one and reads its reply.
namespace service {

// Sends a command line and reads its counted reply.
QList<QByteArray> request(ServiceTransaction& transaction, const char* command);

// How long a save waits for the service to close its end.
inline constexpr std::chrono::milliseconds SaveSettleTime{2000};

// Sends "SaveSettings" and the counted list ("18" and the 18 values); reads
// nothing, but waits up to SaveSettleTime for the service to close its end.
void sendSettings(ServiceTransaction& transaction, const QList<QByteArray>& saveList);

// Line n of a reply; throws ServiceLinkError when the reply is shorter.
const QByteArray& replyLine(const QList<QByteArray>& reply, int n);

} // namespace service
