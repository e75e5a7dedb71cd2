#include "service/notify/ChangeNotices.h"

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
    return notices;
}
