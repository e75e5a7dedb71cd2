#include "service/notify/ChangeNotices.h"

#include "common/Ipv6Address.h"

namespace {

QString shown(const QString& address)
{
    return address.isEmpty() ? QStringLiteral("none") : address;
}

} // namespace

QStringList changeNotices(const Addresses& previous, const Addresses& current)
{
    QStringList notices;
    if (previous.publicIp != current.publicIp)
        notices << QStringLiteral("Public IP changed: %1 \u2192 %2")
                       .arg(shown(previous.publicIp), shown(current.publicIp));
    if (previous.localIp != current.localIp)
        notices << QStringLiteral("Local IP changed: %1 \u2192 %2")
                       .arg(shown(previous.localIp), shown(current.localIp));
    const auto ipv6Changed = [](const QString& before, const QString& now, bool sameNetwork) {
        return !before.isEmpty() && !now.isEmpty() && !sameNetwork;
    };
    if (ipv6Changed(previous.publicIpv6, current.publicIpv6,
                    ipv6::sameNetwork(previous.publicIpv6, current.publicIpv6)))
        notices << QStringLiteral("Public IPv6 changed: %1 \u2192 %2")
                       .arg(previous.publicIpv6, current.publicIpv6);
    if (ipv6Changed(previous.localIpv6, current.localIpv6, previous.localIpv6 == current.localIpv6))
        notices << QStringLiteral("Local IPv6 changed: %1 \u2192 %2")
                       .arg(previous.localIpv6, current.localIpv6);
    return notices;
}
