#pragma once

#include "net/FtpClient.h"
#include "service/alerts/AlertSink.h"
#include "service/alerts/PendingAlerts.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

struct MailJob;

// How the alerts are sent and retried.
struct AlertOptions
{
    // The waits before the second, third... attempt; an alert still failing
    // after the last is given up.
    QList<std::chrono::milliseconds> retryDelays{std::chrono::minutes(1), std::chrono::minutes(5),
                                                 std::chrono::minutes(15)};
    quint16 ftpPort = FtpClient::DefaultPort;
    // The program that sends one e-mail or text message (velmora-send-mail).
    QString mailHelper;
    // Limits for one SMTP or FTP exchange, so that a server that stops
    // answering ends an attempt rather than hold it for ever.
    std::chrono::seconds connectTimeout{30};
    std::chrono::seconds replyTimeout{60};
};

// Sends the alerts whose switches are on: the e-mail, the text message, the
// program run and the FTP page. Each alert of a change runs on a thread of its
// own, so the caller (the listener's thread) never waits for a server; the
// e-mail and the text message go out through the mail helper, a process per
// message, which keeps the mail engine and TLS out of the service. Every
// attempt uses the settings as they stand then, so a corrected server or a
// switch turned off applies to the retries too.
//
// A failed alert is tried again after each of the retry delays, unless a newer
// change has come meanwhile. While the network is down (the last public check
// failed) a failed e-mail, text message or FTP page does not use up a retry: it
// is held until the network is back, and tried again at once then (and at the
// longest retry delay meanwhile, in case only the echo services are out of
// reach). Every attempt and its outcome is one line on stderr.
class AlertDispatcher : public AlertSink
{
public:
    using Clock = std::function<QDateTime()>;

    // configDir holds the page template velmora.html; carriers are the
    // "name|gateway" lines whose positions the settings store.
    AlertDispatcher(QString configDir, QList<QByteArray> carriers, AlertOptions options,
                    Clock clock = {});
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

    // Starts the alerts of the last change that had not gone out when the
    // service stopped (those still switched on).
    void resumePending();

    // Cancels the waiting retries and waits up to `grace` for the attempts
    // under way; false when some are still running then.
    bool finish(std::chrono::milliseconds grace);

    // The name the alerts give for this computer.
    static QString computerName();

private:
    enum class Kind
    {
        Email,
        TextMessage,
        Program,
        FtpPage
    };
    struct Change
    {
        quint64 generation = 0;
        Addresses previous;
        Addresses current;
        QDateTime when;
    };
    struct Outcome
    {
        enum Status
        {
            Sent,
            Failed,  // worth another attempt
            Skipped, // the settings do not allow it; no retry
        };
        Status status;
        QString text;
    };

    static constexpr Kind AllKinds[] = {Kind::Email, Kind::TextMessage, Kind::Program,
                                        Kind::FtpPage};
    static QString nameOf(Kind kind);
    static bool switchedOn(Kind kind, const AlertSettings& settings);
    // Makes `change` the latest, keeps its alerts as pending and starts them.
    void dispatch(Change change, const QList<Kind>& kinds);
    void start(Kind kind, const Change& change);
    void run(Kind kind, const Change& change);
    // Takes an alert that will not be tried again off the pending list.
    void ended(Kind kind, quint64 generation);
    // The settings for the next attempt; none when the alert's switch is off.
    std::optional<AlertSettings> settingsFor(Kind kind);
    bool networkReachable();
    Outcome attempt(Kind kind, const Change& change, const AlertSettings& settings) const;
    Outcome sendEmail(const Change& change, const AlertSettings& settings) const;
    Outcome sendTextMessage(const Change& change, const AlertSettings& settings) const;
    Outcome runProgram(const Change& change, const AlertSettings& settings) const;
    Outcome uploadPage(const Change& change, const AlertSettings& settings) const;
    Outcome sendMail(const MailJob& job) const;
    // Waits `delay` (without a limit when it has none), or with
    // untilNetworkIsBack until the network is back if that is sooner; false when
    // the change was superseded or the service stops.
    bool waitBeforeRetry(quint64 generation, std::optional<std::chrono::milliseconds> delay,
                         bool untilNetworkIsBack);

    const QString m_configDir;
    const QList<QByteArray> m_carriers;
    const AlertOptions m_options;
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
};
