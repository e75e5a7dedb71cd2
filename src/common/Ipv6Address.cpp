#include "common/Ipv6Address.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>

namespace ipv6 {

std::optional<Bytes> parse(QByteArrayView text)
{
    // The longest text form (an IPv4 tail included) is 45 characters.
    if (text.isEmpty() || text.size() >= INET6_ADDRSTRLEN)
        return std::nullopt;
    char terminated[INET6_ADDRSTRLEN] = {};
    std::memcpy(terminated, text.data(), size_t(text.size()));
    Bytes address{};
    if (::inet_pton(AF_INET6, terminated, address.data()) != 1)
        return std::nullopt;
    return address;
}

QString toText(const Bytes& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, address.data(), text, sizeof text);
    return QString::fromLatin1(text);
}

QString canonical(QByteArrayView text)
{
    const std::optional<Bytes> address = parse(text);
    return address ? toText(*address) : QString();
}

bool isLinkLocal(const Bytes& address)
{
    return address[0] == 0xfe && (address[1] & 0xc0) == 0x80;
}

bool isUniqueLocal(const Bytes& address)
{
    return (address[0] & 0xfe) == 0xfc;
}

bool isGlobal(const Bytes& address)
{
    const bool zeroHead =
        std::all_of(address.begin(), address.begin() + 10, [](quint8 byte) { return byte == 0; });
    // ::, ::1, and the IPv4-compatible and -mapped forms
    if (zeroHead &&
        ((address[10] == 0 && address[11] == 0) || (address[10] == 0xff && address[11] == 0xff)))
        return false;
    return address[0] != 0xff && !isLinkLocal(address) && !isUniqueLocal(address);
}

bool sameNetwork(const QString& first, const QString& second)
{
    if (first.isEmpty() || second.isEmpty())
        return first.isEmpty() == second.isEmpty();
    const std::optional<Bytes> a = parse(first.toLatin1());
    const std::optional<Bytes> b = parse(second.toLatin1());
    if (!a || !b)
        return first == second;
    return std::equal(a->begin(), a->begin() + 8, b->begin());
}

} // namespace ipv6
