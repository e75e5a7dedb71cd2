#pragma once

#include "common/ServiceProtocol.h"
#include "service_link/ServiceLinkError.h"
#include "service_link/ServiceTransaction.h"

#include <QByteArray>
#include <QList>
#include <chrono>

// The window's side of the commands: each call sends one and reads its reply.
namespace service {

// Sends a command line and reads its counted reply.
QList<QByteArray> request(ServiceTransaction& transaction, const char* command);

// How long a save waits at most for the service to close its end: long enough
// for a service that is busy or paused for a while, short enough that one that
// never closes does not hold the window for good.
inline constexpr std::chrono::milliseconds SaveSettleTime{std::chrono::seconds(30)};

// Sends "SaveSettings" and the counted list ("18" and the 18 values), then the
// end of its input; reads nothing, but waits up to `settleTime` for the service
// to close its end.
void sendSettings(ServiceTransaction& transaction, const QList<QByteArray>& saveList,
                  std::chrono::milliseconds settleTime = SaveSettleTime);

// Sends "SaveKeyedSettings" and the counted list of "key=value" lines, the same
// way: only to a service that answered "GetKeyedSettings".
void sendKeyedSettings(ServiceTransaction& transaction, const QList<QByteArray>& lines,
                       std::chrono::milliseconds settleTime = SaveSettleTime);

// Line n of a reply; throws ServiceLinkError when the reply is shorter.
const QByteArray& replyLine(const QList<QByteArray>& reply, int n);

} // namespace service
