#pragma once

#include <QString>

// The texts that show the service status: on the Status page, in the tray menu
// and in the tray icon's tip.
namespace statustexts {

QString computerNameLabel(const QString& computerName);
QString publicIpLabel(const QString& publicIp);
QString localIpLabel(const QString& localIp);
QString copyPublicIpCaption(const QString& publicIp);
QString copyLocalIpCaption(const QString& localIp);
// Five lines joined by CR LF: the product, a rule, the three values.
QString trayTip(const QString& computerName, const QString& publicIp, const QString& localIp);

} // namespace statustexts
