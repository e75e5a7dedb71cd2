#include "service/alerts/AlertDispatcher.h"

#include "common/AlertTexts.h"
#include "common/ErrorText.h"
#include "net/FtpClient.h"
#include "net/ReplaceInFile.h"
#include "send_mail/MailJob.h"
#include "service/ServiceLog.h"
#include "service/alerts/AlertMessages.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <exception>

namespace {

QString text(const QByteArray& value)
{
    return QString::fromLocal8Bit(value);
}

// Time for the mail helper to start, and to go once it has been killed.
constexpr std::chrono::milliseconds HelperStartLimit{10000};

} // namespace

AlertDispatcher::AlertDispatcher(QString configDir, QList<QByteArray> carriers,
                                 AlertOptions options, Clock clock)
    : m_configDir(std::move(configDir)), m_carriers(std::move(carriers)),
      m_options(std::move(options)),
      m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); })),
      m_pendingStore(m_configDir)
{
}

AlertDispatcher::~AlertDispatcher()
{
    finish(std::chrono::milliseconds(0));
}

QString AlertDispatcher::computerName()
{
    return QSysInfo::machineHostName();
}

void AlertDispatcher::addressChanged(const Addresses& previous, const Addresses& current,
                                     const AlertSettings& settings)
{
    QList<Kind> kinds;
    for (const Kind kind : AllKinds) {
        if (switchedOn(kind, settings))
            kinds << kind;
    }
    QStringList on;
    for (const Kind kind : kinds)
        on << nameOf(kind);
    logLine(QStringLiteral("address change: public %1 -> %2, local %3 -> %4; alerts on: %5")
                .arg(previous.publicIp, current.publicIp, previous.localIp, current.localIp,
                     on.isEmpty() ? QStringLiteral("none") : on.join(QStringLiteral(", "))));
    {
        const std::lock_guard lock(m_mutex);
        m_settings = settings;
    }
    dispatch({0, previous, current, m_clock()}, kinds);
}

void AlertDispatcher::resumePending()
{
    const std::optional<PendingAlerts::Change> pending = m_pendingStore.load();
    if (!pending)
        return;
    QList<Kind> kinds;
    QStringList names;
    for (const Kind kind : AllKinds) {
        if (pending->alerts.contains(nameOf(kind)) && settingsFor(kind)) {
            kinds << kind;
            names << nameOf(kind);
        }
    }
    logLine(QStringLiteral("alerts of the change to %1, %2 that had not gone out: %3")
                .arg(pending->current.publicIp, pending->current.localIp,
                     names.isEmpty() ? QStringLiteral("none still switched on")
                                     : names.join(QStringLiteral(", "))));
    dispatch({0, pending->previous, pending->current, pending->when}, kinds);
}

void AlertDispatcher::dispatch(Change change, const QList<Kind>& kinds)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return;
        change.generation = ++m_generation;
        m_pending = {change.previous, change.current, change.when, {}};
        for (const Kind kind : kinds)
            m_pending.alerts << nameOf(kind);
        m_pendingStore.save(m_pending);
    }
    m_wake.notify_all(); // retries of older changes give way
    for (const Kind kind : kinds)
        start(kind, change);
}

void AlertDispatcher::ended(Kind kind, quint64 generation)
{
    // Called with the mutex held.
    if (generation != m_generation)
        return; // a newer change has taken the pending list over
    m_pending.alerts.removeAll(nameOf(kind));
    m_pendingStore.save(m_pending);
}

QString AlertDispatcher::nameOf(Kind kind)
{
    switch (kind) {
    case Kind::Email:
        return QStringLiteral("e-mail");
    case Kind::TextMessage:
        return QStringLiteral("text message");
    case Kind::Program:
        return QStringLiteral("program");
    case Kind::FtpPage:
        return QStringLiteral("FTP page");
    }
    return {};
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
    logLine(reachable ? QStringLiteral("the network is back")
                      : QStringLiteral("the network is down: failed alerts wait for it"));
    m_wake.notify_all();
}

bool AlertDispatcher::finish(std::chrono::milliseconds grace)
{
    std::unique_lock lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
    return m_wake.wait_for(lock, grace, [this] { return m_running == 0; });
}

void AlertDispatcher::start(Kind kind, const Change& change)
{
    {
        const std::lock_guard lock(m_mutex);
        ++m_running;
    }
    try {
        // A QThread rather than a bare thread: the mail helper's QProcess
        // needs the event dispatcher that QThread gives every thread it starts.
        QThread* thread = QThread::create([this, kind, change] { run(kind, change); });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    } catch (const std::exception& e) {
        const std::lock_guard lock(m_mutex);
        --m_running;
        logLine(QStringLiteral("cannot start an alert: %1").arg(errorText(e)));
    }
}

void AlertDispatcher::run(Kind kind, const Change& change)
{
    const QString what = QStringLiteral("%1 alert for the change to %2, %3")
                             .arg(nameOf(kind), change.current.publicIp, change.current.localIp);
    bool done = true; // false when it stops for a newer change or the service's end
    const auto& delays = m_options.retryDelays;
    qsizetype retriesUsed = 0;
    for (int number = 1;; ++number) {
        const std::optional<AlertSettings> settings = settingsFor(kind);
        if (!settings) {
            logLine(QStringLiteral("%1: switched off; no further attempt").arg(what));
            break;
        }
        logLine(QStringLiteral("%1: attempt %2").arg(what).arg(number));
        Outcome outcome{Outcome::Failed, {}};
        try {
            outcome = attempt(kind, change, *settings);
        } catch (const std::exception& e) {
            outcome = {Outcome::Failed, errorText(e)};
        }
        if (outcome.status == Outcome::Sent) {
            logLine(QStringLiteral("%1: done%2")
                        .arg(what, outcome.text.isEmpty()
                                       ? QString()
                                       : QStringLiteral(" (%1)").arg(outcome.text)));
            break;
        }
        if (outcome.status == Outcome::Skipped) {
            logLine(QStringLiteral("%1: skipped: %2").arg(what, outcome.text));
            break;
        }
        bool continues = false;
        if (kind != Kind::Program && !networkReachable()) {
            // Not the server's fault: wait for the network rather than use up
            // the retries while it is away.
            logLine(QStringLiteral("%1: failed: %2; held until the network is back")
                        .arg(what, outcome.text));
            continues = waitBeforeRetry(
                change.generation, delays.isEmpty() ? std::nullopt : std::optional(delays.last()),
                true);
        } else if (retriesUsed == delays.size()) {
            logLine(QStringLiteral("%1: failed: %2; given up").arg(what, outcome.text));
            break;
        } else {
            const auto delay = delays.at(retriesUsed++);
            logLine(QStringLiteral("%1: failed: %2; next attempt in %3 s")
                        .arg(what, outcome.text)
                        .arg(double(delay.count()) / 1000.0));
            continues = waitBeforeRetry(change.generation, delay, false);
        }
        if (!continues) {
            logLine(QStringLiteral("%1: no further attempt (a newer change came, or the service "
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

std::optional<AlertSettings> AlertDispatcher::settingsFor(Kind kind)
{
    const std::lock_guard lock(m_mutex);
    if (!switchedOn(kind, m_settings))
        return std::nullopt;
    return m_settings;
}

bool AlertDispatcher::switchedOn(Kind kind, const AlertSettings& settings)
{
    switch (kind) {
    case Kind::Email:
        return settings.emailAlerts;
    case Kind::TextMessage:
        return settings.textAlerts;
    case Kind::Program:
        return settings.runProgram;
    case Kind::FtpPage:
        return settings.ftpPage;
    }
    return false;
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

AlertDispatcher::Outcome AlertDispatcher::attempt(Kind kind, const Change& change,
                                                  const AlertSettings& settings) const
{
    switch (kind) {
    case Kind::Email:
        return sendEmail(change, settings);
    case Kind::TextMessage:
        return sendTextMessage(change, settings);
    case Kind::Program:
        return runProgram(change, settings);
    case Kind::FtpPage:
        return uploadPage(change, settings);
    }
    return {Outcome::Skipped, QStringLiteral("unknown alert")};
}

namespace {

// The server part of a mail job from values 6 to 11; an empty text when it can
// be filled, otherwise why not.
QString fillServer(MailJob& job, const AlertSettings& settings, const AlertOptions& options)
{
    if (settings.smtpServer.isEmpty())
        return QStringLiteral("no SMTP server is set");
    bool ok = false;
    const int port = text(settings.smtpPort).trimmed().toInt(&ok);
    if (!ok)
        return QStringLiteral("the SMTP port '%1' is not a number").arg(text(settings.smtpPort));
    job.ssl = settings.useSsl ? 1 : 0;
    job.host = text(settings.smtpServer);
    job.port = port;
    if (settings.needsLogin && !settings.smtpUsername.isEmpty() &&
        !settings.smtpPassword.isEmpty()) {
        job.username = text(settings.smtpUsername);
        job.password = text(settings.smtpPassword);
    }
    job.connectTimeoutSeconds = int(options.connectTimeout.count());
    job.replyTimeoutSeconds = int(options.replyTimeout.count());
    return {};
}

} // namespace

AlertDispatcher::Outcome AlertDispatcher::sendEmail(const Change& change,
                                                    const AlertSettings& settings) const
{
    const QString recipients = alertmessages::cleanedRecipients(settings.recipients);
    const QString sender = alertmessages::firstRecipient(recipients);
    if (sender.isEmpty())
        return {Outcome::Skipped, QStringLiteral("no e-mail address is set")};
    MailJob job;
    if (const QString why = fillServer(job, settings, m_options); !why.isEmpty())
        return {Outcome::Skipped, why};
    job.subject = alertmessages::subject();
    job.body =
        alertmessages::emailBodyAt(change.when, computerName(), change.previous, change.current);
    job.from = sender;
    job.recipientList = recipients;
    Outcome outcome = sendMail(job);
    if (outcome.status == Outcome::Sent)
        outcome.text = QStringLiteral("sent to %1").arg(recipients);
    return outcome;
}

AlertDispatcher::Outcome AlertDispatcher::sendTextMessage(const Change& change,
                                                          const AlertSettings& settings) const
{
    const QString sender =
        alertmessages::firstRecipient(alertmessages::cleanedRecipients(settings.recipients));
    if (sender.isEmpty())
        return {Outcome::Skipped, QStringLiteral("no e-mail address is set to send it from")};
    if (settings.phoneNumber.isEmpty())
        return {Outcome::Skipped, QStringLiteral("no phone number is set")};
    const QString gateway = alertmessages::carrierGateway(m_carriers, settings.carrier);
    if (gateway.isEmpty())
        return {Outcome::Skipped, QStringLiteral("no carrier is chosen")};
    MailJob job;
    if (const QString why = fillServer(job, settings, m_options); !why.isEmpty())
        return {Outcome::Skipped, why};
    job.from = alerttexts::textMessageSender(sender);
    job.recipient = alerttexts::textMessageRecipient(text(settings.phoneNumber), gateway);
    job.subject = alertmessages::subject();
    job.body = alertmessages::textBody(computerName(), change.current);
    Outcome outcome = sendMail(job);
    if (outcome.status == Outcome::Sent)
        outcome.text = QStringLiteral("sent to %1").arg(job.recipient);
    return outcome;
}

AlertDispatcher::Outcome AlertDispatcher::sendMail(const MailJob& job) const
{
    QProcess helper;
    helper.setProgram(m_options.mailHelper);
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start();
    if (!helper.waitForStarted(int(HelperStartLimit.count())))
        return {Outcome::Failed, QStringLiteral("cannot start the mail helper %1: %2")
                                     .arg(m_options.mailHelper, helper.errorString())};
    helper.write(job.encode());
    helper.closeWriteChannel();
    // The helper's own limits end a send with a silent server; this one only
    // guards against a helper that hangs for another reason.
    const std::chrono::milliseconds limit =
        m_options.connectTimeout + 10 * m_options.replyTimeout + HelperStartLimit;
    if (!helper.waitForFinished(int(limit.count()))) {
        helper.kill();
        helper.waitForFinished(int(HelperStartLimit.count()));
        return {Outcome::Failed, QStringLiteral("the mail helper did not finish in time")};
    }
    const QString said = QString::fromLocal8Bit(helper.readAllStandardOutput()).trimmed();
    if (helper.exitStatus() != QProcess::NormalExit)
        return {Outcome::Failed, QStringLiteral("the mail helper crashed")};
    switch (helper.exitCode()) {
    case 0:
        return {Outcome::Sent, {}};
    case 1:
        return {Outcome::Failed, said};
    default:
        return {Outcome::Failed,
                QStringLiteral("the mail helper refused the job (exit code %1): %2")
                    .arg(helper.exitCode())
                    .arg(said)};
    }
}

AlertDispatcher::Outcome AlertDispatcher::runProgram(const Change& change,
                                                     const AlertSettings& settings) const
{
    const QString program = text(settings.program);
    const QFileInfo info(program);
    if (program.isEmpty() || !info.isFile() || !info.isExecutable())
        return {Outcome::Skipped, QStringLiteral("'%1' is not an executable file").arg(program)};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_PUBLIC_IP"), change.current.publicIp);
    environment.insert(QStringLiteral("VELMORA_LOCAL_IP"), change.current.localIp);
    environment.insert(QStringLiteral("VELMORA_COMPUTER_NAME"), computerName());
    QProcess process;
    process.setProgram(info.absoluteFilePath());
    process.setArguments({change.current.publicIp, change.current.localIp});
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        return {Outcome::Failed, QStringLiteral("cannot start %1").arg(program)};
    return {Outcome::Sent, QStringLiteral("started %1 as process %2").arg(program).arg(pid)};
}

AlertDispatcher::Outcome AlertDispatcher::uploadPage(const Change& change,
                                                     const AlertSettings& settings) const
{
    if (settings.ftpHost.isEmpty())
        return {Outcome::Skipped, QStringLiteral("no FTP host is set")};
    const QString templateFile = m_configDir + QStringLiteral("/velmora.html");
    if (!QFileInfo(templateFile).isFile())
        return {Outcome::Skipped, QStringLiteral("there is no page template %1").arg(templateFile)};
    QTemporaryDir folder;
    if (!folder.isValid())
        return {Outcome::Failed, QStringLiteral("cannot make a temporary folder")};
    const QString page = folder.filePath(QStringLiteral("velmora.html"));
    fillTemplateCopy(templateFile, page,
                     {{QStringLiteral("[[ComputerName]]"), computerName()},
                      {QStringLiteral("[[PublicIPAddress]]"), change.current.publicIp},
                      {QStringLiteral("[[LocalIPAddress]]"), change.current.localIp}});
    FtpClient client;
    client.setHost(text(settings.ftpHost));
    client.setUsername(text(settings.ftpUsername));
    client.setPassword(text(settings.ftpPassword));
    client.setPort(m_options.ftpPort);
    client.setReplyTimeLimit(m_options.replyTimeout);
    client.connectAndUpload(page, QStringLiteral("velmora.html"));
    return {Outcome::Sent, QStringLiteral("uploaded to %1").arg(client.host())};
}
