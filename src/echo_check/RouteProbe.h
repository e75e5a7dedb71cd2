#pragma once

#include <QString>
#include <optional>

// Whether this computer can send to an address at all: a UDP socket is
// connected to it, which picks a route and a source address and sends
// nothing. Tells "no IPv6 connectivity" (no route, network unreachable, no
// address to send from) apart from a source that does not answer.
namespace routeprobe {

// Nothing when there is a route; else why there is none. An address that is
// not an IP address gives nothing: that is for the asking to find out.
std::optional<QString> noRouteTo(const QString& address, quint16 port);

} // namespace routeprobe
