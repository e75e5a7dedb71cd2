#include "main_form/StatusTexts.h"

namespace statustexts {

QString computerNameLabel(const QString& computerName)
{
    return QStringLiteral("Computer Name: ") + computerName;
}

QString publicIpLabel(const QString& publicIp)
{
    return QStringLiteral("Public IP Address: ") + publicIp;
}

QString localIpLabel(const QString& localIp)
{
    return QStringLiteral("Local IP Address: ") + localIp;
}

QString publicIpv6Label(const QString& publicIpv6)
{
    return QStringLiteral("Public IPv6 Address: ") + publicIpv6;
}

QString localIpv6Label(const QString& localIpv6)
{
    return QStringLiteral("Local IPv6 Address: ") + localIpv6;
}

QString copyPublicIpCaption(const QString& publicIp)
{
    return QStringLiteral("(Copy) Public IP: ") + publicIp;
}

QString copyLocalIpCaption(const QString& localIp)
{
    return QStringLiteral("(Copy) Local IP: ") + localIp;
}

QString trayTip(const QString& computerName, const QString& publicIp, const QString& localIp,
                const QString& publicIpv6, const QString& localIpv6)
{
    QString tip = QStringLiteral("Velmora\r\n==============\r\n") +
                  computerNameLabel(computerName) + QStringLiteral("\r\n") +
                  publicIpLabel(publicIp) + QStringLiteral("\r\n") + localIpLabel(localIp);
    if (!publicIpv6.isEmpty())
        tip += QStringLiteral("\r\n") + publicIpv6Label(publicIpv6);
    if (!localIpv6.isEmpty())
        tip += QStringLiteral("\r\n") + localIpv6Label(localIpv6);
    return tip;
}

} // namespace statustexts
