#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace ipv4 {

// Reads a dotted-quad IPv4 address in its plain form: four decimal numbers of
// at most three digits, each 0 to 255, without leading zeros (which some
// readers take for octal). Returns the address in host byte order.
std::optional<quint32> parse(QByteArrayView text);

QString toText(quint32 address);

// True for an address that can be this computer's address on the internet:
// not unspecified, private, shared (CGNAT), loopback, link-local, multicast,
// reserved or limited broadcast. The documentation ranges count as public:
// no real echo service returns them, and local test services do.
bool isPublic(quint32 address);

// The public address an echo service's answer holds: exactly one IPv4 address,
// surrounding whitespace allowed; anything else gives nothing.
std::optional<QString> publicAddressFromEchoBody(const QByteArray& body);

} // namespace ipv4
