#pragma once

#include "common/AlertSettings.h"
#include "service/addresses/Addresses.h"

#include <QDateTime>
#include <QObject>
#include <functional>

class AlertSink;
class HistoryLog;

// What happens on every address change: the history line first, then the alerts.
class ChangeRecorder : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    ChangeRecorder(HistoryLog& history, AlertSink& alerts, std::function<AlertSettings()> settings,
                   Clock clock = {}, QObject* parent = nullptr);

    // Never throws: a failure is reported and the service goes on.
    void record(const Addresses& previous, const Addresses& current);

private:
    HistoryLog& m_history;
    AlertSink& m_alerts;
    std::function<AlertSettings()> m_settings;
    Clock m_clock;
};
