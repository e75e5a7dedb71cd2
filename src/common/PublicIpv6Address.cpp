#include "common/PublicIpv6Address.h"

#include <algorithm>

namespace publicipv6 {

bool isPublic(const Bytes& address)
{
    // Global unicast is 2000::/3; everything else (::, ::1, ::ffff:0:0/96,
    // 64:ff9b::/96, fe80::/10, fc00::/7, ff00::/8) lies outside it.
    if ((address[0] & 0xe0) != 0x20)
        return false;
    // 2001:2::/48, benchmarking.
    const bool benchmarking = address[0] == 0x20 && address[1] == 0x01 && address[2] == 0x00 &&
                              address[3] == 0x02 && address[4] == 0x00 && address[5] == 0x00;
    return !benchmarking;
}

QString prefix64(const QString& text)
{
    std::optional<Bytes> address = ipv6::parse(text.toLatin1());
    if (!address)
        return {};
    std::fill(address->begin() + 8, address->end(), quint8(0));
    return ipv6::toText(*address) + QStringLiteral("/64");
}

bool samePrefix(const QString& first, const QString& second)
{
    const QString prefix = prefix64(first);
    return !prefix.isEmpty() && prefix == prefix64(second);
}

std::optional<QString> publicAddressFromEchoBody(const QByteArray& body)
{
    const std::optional<Bytes> address = ipv6::parse(body.trimmed());
    if (!address || !isPublic(*address))
        return std::nullopt;
    return ipv6::toText(*address);
}

} // namespace publicipv6
