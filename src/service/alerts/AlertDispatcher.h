#pragma once

#include "service/alerts/AlertChannels.h"
#include "service/alerts/AlertSink.h"
#include "service/alerts/PendingAlerts.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

// Sends the alerts whose switches are on: the e-mail, the text message, the
// program run, the FTP page and the push notification. Each alert of a change runs on a thread of
// its own, so the caller (the listener's thread) never waits for a server. Every attempt uses the
// settings as they stand then, so a corrected server or a switch turned off applies to the retries
// too.
//
// A failed alert is tried again after each of the retry delays, unless a newer
// change has come meanwhile. While the public address cannot be checked (the
// last public check failed: no echo service answered, the network may be down)
// a failed e-mail, text message, FTP page or push does not use up a retry: it is held
// until a check succeeds again, and tried again at once then (and at the
// longest retry delay meanwhile, in case only the echo services are out of
// reach). Every attempt and its outcome is one line on stderr.
class AlertDispatcher : public AlertSink
{
public:
    using Clock = std::function<QDateTime()>;

    // channels send the alerts; stateDir keeps the alerts still pending;
    // retryDelays are the waits before the second, third... attempt (an alert
    // still failing after the last is given up); clock dates the changes.
    AlertDispatcher(const AlertChannels& channels, const QString& stateDir,
                    QList<std::chrono::milliseconds> retryDelays, Clock clock = {});
    ~AlertDispatcher() override;
    AlertDispatcher(const AlertDispatcher&) = delete;
    AlertDispatcher& operator=(const AlertDispatcher&) = delete;

    void addressChanged(const Addresses& previous, const Addresses& current,
                        const AlertSettings& settings) override;

    // The settings the next attempts use.
    void settingsChanged(const AlertSettings& settings);

    // Whether the last public check reached an echo service. Coming back after
    // a failure starts the held alerts at once.
    void networkChecked(bool reachable);

    // Called, on the alert's own thread, with a short summary and a body when
    // an alert has failed and will be tried again, and when it is given up:
    // for the desktop's notifications.
    using Notice = std::function<void(const QString& summary, const QString& body)>;
    void setNoticeHandler(Notice notice);

    // Starts the alerts of the last change that had not gone out when the
    // service stopped (those still switched on).
    void resumePending();

    // Cancels the waiting retries and waits up to `grace` for the attempts
    // under way; false when some are still running then.
    bool finish(std::chrono::milliseconds grace);

private:
    // One kind of alert, and the table of all of them.
    struct Kind;
    static const Kind Kinds[];
    struct Change
    {
        quint64 generation = 0;
        AddressChange addresses;
    };

    // Makes `change` the latest, keeps its alerts as pending and starts them.
    void dispatch(Change change, const QList<const Kind*>& kinds);
    void start(const Kind& kind, const Change& change);
    void run(const Kind& kind, const Change& change);
    // Takes an alert that will not be tried again off the pending list.
    void ended(const Kind& kind, quint64 generation);
    // The settings for the next attempt; none when the alert's switch is off.
    std::optional<AlertSettings> settingsFor(const Kind& kind);
    bool networkReachable();
    void tell(const QString& summary, const QString& body);
    // Waits `delay` (without a limit when it has none), or with
    // untilNetworkIsBack until the network is back if that is sooner; false when
    // the change was superseded or the service stops.
    bool waitBeforeRetry(quint64 generation, std::optional<std::chrono::milliseconds> delay,
                         bool untilNetworkIsBack);

    const AlertChannels& m_channels;
    const QList<std::chrono::milliseconds> m_retryDelays;
    const Clock m_clock;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    quint64 m_generation = 0;
    const PendingAlerts m_pendingStore;
    PendingAlerts::Change m_pending; // the alerts of change m_generation still to go
    AlertSettings m_settings;
    bool m_networkReachable = true; // until a check says otherwise
    bool m_stopping = false;
    int m_running = 0;
    Notice m_notice;
};
