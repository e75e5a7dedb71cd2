#include "service/LoggingAlertSink.h"

#include "service/ServiceLog.h"

void LoggingAlertSink::addressChanged(const Addresses& previous, const Addresses& current,
                                      const AlertSettings& settings)
{
    const int switchedOn = int(settings.emailAlerts) + int(settings.textAlerts) +
                           int(settings.runProgram) + int(settings.ftpPage);
    logLine(QStringLiteral("address change: public %1 -> %2, local %3 -> %4 (%5 alert(s) "
                           "switched on, none sent by this version)")
                .arg(previous.publicIp, current.publicIp, previous.localIp, current.localIp)
                .arg(switchedOn));
}
