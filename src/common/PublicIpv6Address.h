#pragma once

#include "common/Ipv6Address.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The IPv6 address the internet sees, as the public-address checks read it.
// Such an address is usually a temporary (privacy) one that the computer
// replaces every day, so two of them are the same public address when their
// /64 prefixes are: the provider's network, not the host part, is what moves.
namespace publicipv6 {

using Bytes = ipv6::Bytes;

// True for a global unicast address (2000::/3), the only kind that can be this
// computer's address on the internet: never the unspecified address,
// loopback, IPv4-mapped or IPv4-translated, link-local, unique local (fc00::/7)
// or multicast, nor the benchmarking range. The documentation range
// 2001:db8::/32 counts as public, as the IPv4 documentation ranges do: no
// real source returns it, and local test services do.
bool isPublic(const Bytes& address);

// The address's /64 prefix, as "2001:db8:1:2::/64"; empty when the text is
// not an IPv6 address.
QString prefix64(const QString& address);

// Whether two texts are IPv6 addresses in one /64.
bool samePrefix(const QString& first, const QString& second);

// The public address an echo service's answer holds: exactly one global IPv6
// address, surrounding whitespace allowed; anything else gives nothing.
std::optional<QString> publicAddressFromEchoBody(const QByteArray& body);

} // namespace publicipv6
