#pragma once

#include "service/AlertSink.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

// How the alerts are sent and retried.
struct AlertOptions
{
    // The waits before the second, third... attempt; an alert still failing
    // after the last is given up.
    QList<std::chrono::milliseconds> retryDelays{std::chrono::minutes(1), std::chrono::minutes(5),
                                                 std::chrono::minutes(15)};
    quint16 ftpPort = 21;
    // Limits for one SMTP or FTP exchange, so that a server that stops
    // answering ends an attempt rather than hold it for ever.
    std::chrono::seconds connectTimeout{30};
    std::chrono::seconds replyTimeout{60};
};

// Sends the alerts whose switches are on: the e-mail, the text message, the
// program run and the FTP page. Each alert of a change runs on a thread of its
// own, so the caller (the listener's thread) never waits for a server; a failed
// alert is tried again after each of the retry delays, unless a newer change
// has come meanwhile. Every attempt and its outcome is one line on stderr.
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
        AlertSettings settings;
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

    void start(Kind kind, const Change& change);
    void run(Kind kind, const Change& change);
    Outcome attempt(Kind kind, const Change& change) const;
    Outcome sendEmail(const Change& change) const;
    Outcome sendTextMessage(const Change& change) const;
    Outcome runProgram(const Change& change) const;
    Outcome uploadPage(const Change& change) const;
    // Waits `delay`; false when the change was superseded or the service stops.
    bool waitBeforeRetry(quint64 generation, std::chrono::milliseconds delay);

    const QString m_configDir;
    const QList<QByteArray> m_carriers;
    const AlertOptions m_options;
    const Clock m_clock;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    quint64 m_generation = 0;
    bool m_stopping = false;
    int m_running = 0;
};
