#include "service/alerts/AlertDispatcher.h"

#include "common/AlertTexts.h"
#include "common/ErrorText.h"
#include "service/alerts/NextWait.h"
#include "service/base/ServiceLog.h"

#include <QLocale>
#include <QStringList>
#include <QThread>
#include <exception>

// Its name in the log and in the pending alerts, its switch in the settings,
// whether a failure while the public address cannot be checked waits until it
// can (the network may be down), and how
// it is sent.
struct AlertDispatcher::Kind
{
    const char* name;
    Setting switchedOn;
    bool waitsForNetwork;
    AlertOutcome (AlertChannels::*send)(const AddressChange&, const AlertSettings&) const;

    QString nameText() const { return QString::fromLatin1(name); }
};

// In the order they start. A program runs on this computer: it needs no network.
const AlertDispatcher::Kind AlertDispatcher::Kinds[] = {
    {"e-mail", Setting::EmailAlerts, true, &AlertChannels::sendEmail},
    {"text message", Setting::TextAlerts, true, &AlertChannels::sendTextMessage},
    {"program", Setting::RunProgram, false, &AlertChannels::runProgram},
    {"FTP page", Setting::FtpPage, true, &AlertChannels::uploadPage},
    {"push", Setting::PushAlerts, true, &AlertChannels::sendPush},
};

AlertDispatcher::AlertDispatcher(const AlertChannels& channels, const QString& stateDir,
                                 QList<std::chrono::milliseconds> retryDelays, Clock clock)
    : m_channels(channels), m_retryDelays(std::move(retryDelays)),
      m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); })),
      m_pendingStore(stateDir)
{
}

void AlertDispatcher::setNoticeHandler(Notice notice)
{
    const std::lock_guard lock(m_mutex);
    m_notice = std::move(notice);
}

void AlertDispatcher::tell(const QString& summary, const QString& body)
{
    Notice notice;
    {
        const std::lock_guard lock(m_mutex);
        notice = m_notice;
    }
    if (notice)
        notice(summary, body);
}

AlertDispatcher::~AlertDispatcher()
{
    finish(std::chrono::milliseconds(0));
}

void AlertDispatcher::addressChanged(const Addresses& previous, const Addresses& current,
                                     const AlertSettings& settings)
{
    QList<const Kind*> kinds;
    QStringList on;
    for (const Kind& kind : Kinds) {
        if (settings.isOn(kind.switchedOn)) {
            kinds << &kind;
            on << kind.nameText();
        }
    }
    QString ipv6;
    if (previous.hasIpv6() || current.hasIpv6()) {
        const auto shown = [](const QString& address) {
            return address.isEmpty() ? QStringLiteral("none") : address;
        };
        ipv6 = QStringLiteral(", public IPv6 %1 -> %2, local IPv6 %3 -> %4")
                   .arg(shown(previous.publicIpv6), shown(current.publicIpv6),
                        shown(previous.localIpv6), shown(current.localIpv6));
    }
    logLine(LogLevel::Notice,
            QStringLiteral("address change: public %1 -> %2, local %3 -> %4%5; alerts on: %6")
                .arg(previous.publicIp, current.publicIp, previous.localIp, current.localIp, ipv6,
                     on.isEmpty() ? QStringLiteral("none") : on.join(QStringLiteral(", "))));
    {
        const std::lock_guard lock(m_mutex);
        m_settings = settings;
    }
    dispatch({0, {previous, current, m_clock()}}, kinds);
}

void AlertDispatcher::resumePending()
{
    const std::optional<PendingAlerts::Change> pending = m_pendingStore.load();
    if (!pending)
        return;
    QList<const Kind*> kinds;
    QStringList names;
    for (const Kind& kind : Kinds) {
        if (pending->alerts.contains(kind.nameText()) && settingsFor(kind)) {
            kinds << &kind;
            names << kind.nameText();
        }
    }
    logLine(LogLevel::Info,
            QStringLiteral("alerts of the change to %1, %2 that had not gone out: %3")
                .arg(pending->current.publicIp, pending->current.localIp,
                     names.isEmpty() ? QStringLiteral("none still switched on")
                                     : names.join(QStringLiteral(", "))));
    dispatch({0, {pending->previous, pending->current, pending->when}}, kinds);
}

void AlertDispatcher::dispatch(Change change, const QList<const Kind*>& kinds)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        change.generation = ++m_generation;
        const AddressChange& addresses = change.addresses;
        m_pending = {addresses.previous, addresses.current, addresses.when, {}};
        for (const Kind* kind : kinds)
            m_pending.alerts << kind->nameText();
        m_pendingStore.save(m_pending);
    }
    m_wake.notify_all(); // retries of older changes give way
    for (const Kind* kind : kinds)
        start(*kind, change);
}

void AlertDispatcher::ended(const Kind& kind, quint64 generation)
{
    // Called with the mutex held.
    if (generation != m_generation)
        return; // a newer change has taken the pending list over
    m_pending.alerts.removeAll(kind.nameText());
    m_pendingStore.save(m_pending);
}

void AlertDispatcher::settingsChanged(const AlertSettings& settings)
{
    const std::lock_guard lock(m_mutex);
    m_settings = settings;
}

void AlertDispatcher::networkChecked(bool reachable)
{
    {
        const std::lock_guard lock(m_mutex);
        if (reachable == m_networkReachable)
            return;
        m_networkReachable = reachable;
    }
    if (reachable)
        logLine(LogLevel::Notice, QStringLiteral("the public address can be checked again"));
    else
        logLine(LogLevel::Warning,
                QStringLiteral("the public address cannot be checked (no echo service answered): "
                               "failed alerts wait until it can"));
    m_wake.notify_all();
}

bool AlertDispatcher::finish(std::chrono::milliseconds grace)
{
    std::unique_lock lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
    return m_wake.wait_for(lock, grace, [this] { return m_running == 0; });
}

void AlertDispatcher::start(const Kind& kind, const Change& change)
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_running;
    }
    try {
        // A QThread rather than a bare thread: the mail helper's QProcess
        // needs the event dispatcher that QThread gives every thread it starts.
        QThread* thread = QThread::create([this, &kind, change] { run(kind, change); });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    } catch (const std::exception& e) {
        const std::lock_guard lock(m_mutex);
        --m_running;
        logLine(LogLevel::Error, QStringLiteral("cannot start an alert: %1").arg(errorText(e)));
    }
}

void AlertDispatcher::run(const Kind& kind, const Change& change)
{
    const Addresses& current = change.addresses.current;
    const QString what = QStringLiteral("%1 alert for the change to %2, %3")
                             .arg(kind.nameText(), current.publicIp, current.localIp);
    bool done = true; // false when it stops for a newer change or the service's end
    qsizetype retriesUsed = 0;
    for (int number = 1;; ++number) {
        const std::optional<AlertSettings> settings = settingsFor(kind);
        if (!settings) {
            logLine(LogLevel::Info,
                    QStringLiteral("%1: switched off; no further attempt").arg(what));
            break;
        }
        logLine(LogLevel::Info, QStringLiteral("%1: attempt %2").arg(what).arg(number));
        AlertOutcome outcome{AlertOutcome::Failed, {}};
        try {
            outcome = (m_channels.*kind.send)(change.addresses, *settings);
        } catch (const std::exception& e) {
            outcome = {AlertOutcome::Failed, errorText(e)};
        }
        if (outcome.status == AlertOutcome::Sent) {
            logLine(LogLevel::Notice,
                    QStringLiteral("%1: done%2")
                        .arg(what, outcome.text.isEmpty()
                                       ? QString()
                                       : QStringLiteral(" (%1)").arg(outcome.text)));
            break;
        }
        if (outcome.status == AlertOutcome::Skipped) {
            logLine(LogLevel::Info, QStringLiteral("%1: skipped: %2").arg(what, outcome.text));
            break;
        }
        const NextWait next =
            nextWait(m_retryDelays, retriesUsed, kind.waitsForNetwork && !networkReachable());
        if (next.action == NextWait::GiveUp) {
            logLine(LogLevel::Error,
                    QStringLiteral("%1: failed: %2; given up").arg(what, outcome.text));
            tell(QStringLiteral("Alert given up: %1").arg(what), outcome.text);
            break;
        }
        if (next.action == NextWait::HoldForNetwork) {
            // Not the server's fault: wait for the network rather than use up
            // the retries while it is away.
            logLine(LogLevel::Warning,
                    QStringLiteral("%1: failed: %2; held until the public address can be checked "
                                   "again")
                        .arg(what, outcome.text));
            tell(QStringLiteral("Alert failed: %1").arg(what),
                 QStringLiteral("%1\nIt will be tried again when the public address can be "
                                "checked again.")
                     .arg(outcome.text));
        } else {
            ++retriesUsed;
            logLine(LogLevel::Warning, QStringLiteral("%1: failed: %2; next attempt in %3 s")
                                           .arg(what, outcome.text)
                                           .arg(double(next.delay->count()) / 1000.0));
            tell(QStringLiteral("Alert failed: %1").arg(what),
                 QStringLiteral("%1\nNext attempt at %2.")
                     .arg(outcome.text,
                          alerttexts::longTime(QLocale(),
                                               m_clock().addMSecs(next.delay->count()).time())));
        }
        if (!waitBeforeRetry(change.generation, next.delay,
                             next.action == NextWait::HoldForNetwork)) {
            logLine(LogLevel::Info,
                    QStringLiteral("%1: no further attempt (a newer change came, or the service "
                                   "stops)")
                        .arg(what));
            done = false;
            break;
        }
    }
    // The last use of this object by the thread.
    const std::lock_guard lock(m_mutex);
    if (done)
        ended(kind, change.generation);
    --m_running;
    m_wake.notify_all();
}

std::optional<AlertSettings> AlertDispatcher::settingsFor(const Kind& kind)
{
    const std::lock_guard lock(m_mutex);
    if (!m_settings.isOn(kind.switchedOn))
        return std::nullopt;
    return m_settings;
}

bool AlertDispatcher::networkReachable()
{
    const std::lock_guard lock(m_mutex);
    return m_networkReachable;
}

bool AlertDispatcher::waitBeforeRetry(quint64 generation,
                                      std::optional<std::chrono::milliseconds> delay,
                                      bool untilNetworkIsBack)
{
    std::unique_lock lock(m_mutex);
    const auto ended = [this, generation] { return m_stopping || m_generation != generation; };
    const auto over = [&] { return ended() || (untilNetworkIsBack && m_networkReachable); };
    if (delay)
        m_wake.wait_for(lock, *delay, over);
    else
        m_wake.wait(lock, over);
    return !ended();
}
