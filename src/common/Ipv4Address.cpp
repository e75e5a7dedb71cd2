#include "common/Ipv4Address.h"

#include <array>

namespace ipv4 {

namespace {

struct Range
{
    quint32 network;
    int prefixLength;
};

constexpr quint32 address(quint32 a, quint32 b, quint32 c, quint32 d)
{
    return (a << 24) | (b << 16) | (c << 8) | d;
}

// Addresses that never identify a computer on the public internet.
constexpr std::array<Range, 11> NotPublic = {{
    {address(0, 0, 0, 0), 8},      // "this network", unspecified
    {address(10, 0, 0, 0), 8},     // private
    {address(100, 64, 0, 0), 10},  // shared address space (carrier-grade NAT)
    {address(127, 0, 0, 0), 8},    // loopback
    {address(169, 254, 0, 0), 16}, // link-local
    {address(172, 16, 0, 0), 12},  // private
    {address(192, 0, 0, 0), 24},   // protocol assignments
    {address(192, 168, 0, 0), 16}, // private
    {address(198, 18, 0, 0), 15},  // benchmarking
    {address(224, 0, 0, 0), 4},    // multicast
    {address(240, 0, 0, 0), 4},    // reserved, limited broadcast
}};

bool contains(const Range& range, quint32 value)
{
    const quint32 mask = range.prefixLength == 0 ? 0 : ~quint32(0) << (32 - range.prefixLength);
    return (value & mask) == range.network;
}

} // namespace

std::optional<quint32> parse(QByteArrayView text)
{
    quint32 result = 0;
    int parts = 0;
    qsizetype i = 0;
    while (parts < 4) {
        const qsizetype start = i;
        quint32 value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3)
            value = value * 10 + quint32(text[i++] - '0');
        const qsizetype digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return std::nullopt;
        result = (result << 8) | value;
        ++parts;
        if (parts < 4) {
            if (i >= text.size() || text[i] != '.')
                return std::nullopt;
            ++i;
        }
    }
    if (i != text.size())
        return std::nullopt;
    return result;
}

QString toText(quint32 value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 0xff)
        .arg((value >> 8) & 0xff)
        .arg(value & 0xff);
}

bool isPublic(quint32 value)
{
    for (const Range& range : NotPublic) {
        if (contains(range, value))
            return false;
    }
    return true;
}

std::optional<QString> publicAddressFromEchoBody(const QByteArray& body)
{
    const std::optional<quint32> value = parse(body.trimmed());
    if (!value || !isPublic(*value))
        return std::nullopt;
    return toText(*value);
}

} // namespace ipv4
