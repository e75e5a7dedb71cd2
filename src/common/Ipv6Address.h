#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>
#include <optional>

namespace ipv6 {

using Bytes = std::array<quint8, 16>;

// Reads an IPv6 address as inet_pton() takes it (no zone, no prefix length).
std::optional<Bytes> parse(QByteArrayView text);

// The compressed lower-case form ("2001:db8::1").
QString toText(const Bytes& address);

// The text in its compressed form, or empty when it is no IPv6 address.
QString canonical(QByteArrayView text);

bool isLinkLocal(const Bytes& address);   // fe80::/10
bool isUniqueLocal(const Bytes& address); // fc00::/7
// Neither unspecified, loopback, multicast, link-local, unique local nor
// IPv4-mapped: an address other hosts on the internet can reach.
bool isGlobal(const Bytes& address);

// Whether two address texts share their first 64 bits, the network a provider
// hands out: a temporary address rotating within it is the same network.
// Two empty texts are the same; an empty and a set one are not.
bool sameNetwork(const QString& first, const QString& second);

} // namespace ipv6
