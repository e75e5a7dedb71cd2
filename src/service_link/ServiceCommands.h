#pragma once

#include "service_link/ServiceLinkError.h"
#include "service_link/ServiceTransaction.h"

#include <QByteArray>
#include <QList>
#include <chrono>

// The four commands the window sends, and how each goes on the wire.
namespace service {

inline constexpr char Host[] = "127.0.0.1";
inline constexpr quint16 Port = 9522;

inline constexpr char GetCellularProviders[] = "GetCellularProviders";
inline constexpr char GetSettings[] = "GetSettings";
inline constexpr char UpdateStatus[] = "UpdateStatus";
inline constexpr char SaveSettings[] = "SaveSettings";

// Reply lines 1 to 3 of "GetSettings" and "UpdateStatus".
inline constexpr int ComputerNameLine = 1;
inline constexpr int PublicIpLine = 2;
inline constexpr int LocalIpLine = 3;
// Value n of the 18 settings is line n + 3 of the "GetSettings" reply.
inline constexpr int FirstValueLine = 4;

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
