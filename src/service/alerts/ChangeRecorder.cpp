#include "service/alerts/ChangeRecorder.h"

#include "common/ErrorText.h"
#include "service/alerts/AlertSink.h"
#include "service/alerts/HistoryLog.h"
#include "service/base/ServiceLog.h"

ChangeRecorder::ChangeRecorder(HistoryLog& history, AlertSink& alerts,
                               std::function<AlertSettings()> settings, Clock clock,
                               QObject* parent)
    : QObject(parent), m_history(history), m_alerts(alerts), m_settings(std::move(settings)),
      m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); }))
{
}

void ChangeRecorder::record(const Addresses& previous, const Addresses& current)
{
    try {
        m_history.append(m_clock(), current);
    } catch (const std::exception& e) {
        logLine(LogLevel::Error, errorText(e));
    }
    try {
        m_alerts.addressChanged(previous, current, m_settings());
    } catch (const std::exception& e) {
        logLine(LogLevel::Error, QStringLiteral("alerts failed: %1").arg(errorText(e)));
    }
}
