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

QString copyPublicIpCaption(const QString& publicIp)
{
    return QStringLiteral("(Copy) Public IP: ") + publicIp;
}

QString copyLocalIpCaption(const QString& localIp)
{
    return QStringLiteral("(Copy) Local IP: ") + localIp;
}

QString trayTip(const QString& computerName, const QString& publicIp, const QString& localIp)
{
    return QStringLiteral("Velmora\r\n==============\r\n") + computerNameLabel(computerName) +
           QStringLiteral("\r\n") + publicIpLabel(publicIp) + QStringLiteral("\r\n") +
           localIpLabel(localIp);
}

} // namespace statustexts
