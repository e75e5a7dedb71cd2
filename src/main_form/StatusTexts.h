#pragma once

#include <QString>

// The texts that show the service status: on the Status page, in the tray menu
// and in the tray icon's tip.
namespace statustexts {

QString computerNameLabel(const QString& computerName);
QString publicIpLabel(const QString& publicIp);
QString localIpLabel(const QString& localIp);
QString publicIpv6Label(const QString& publicIpv6);
QString localIpv6Label(const QString& localIpv6);
QString copyPublicIpCaption(const QString& publicIp);
QString copyLocalIpCaption(const QString& localIp);
// Five lines joined by CR LF: the product, a rule, the three values; then a
// line for each IPv6 address given (an empty one is not shown).
QString trayTip(const QString& computerName, const QString& publicIp, const QString& localIp,
                const QString& publicIpv6 = {}, const QString& localIpv6 = {});

} // namespace statustexts
