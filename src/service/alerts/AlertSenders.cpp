#include "service/alerts/AlertSenders.h"

#include "common/AlertTexts.h"
#include "common/ErrorText.h"
#include "common/PrivateFile.h"
#include "common/SmtpPort.h"
#include "common/TextConvert.h"
#include "send_mail/MailJob.h"
#include "send_push/PushMessage.h"
#include "service/alerts/AlertMessages.h"
#include "service/alerts/DetachedProgram.h"
#include "service/base/ChildSignals.h"
#include "upload_page/PageJob.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSysInfo>

namespace {

QString text(const QByteArray& value)
{
    return QString::fromLocal8Bit(value);
}

// Time for a helper to start, and to go once it has been killed.
constexpr std::chrono::milliseconds HelperStartLimit{10000};

} // namespace

AlertSenders::AlertSenders(QString configDir, QList<QByteArray> carriers, Options options)
    : m_configDir(std::move(configDir)), m_carriers(std::move(carriers)),
      m_options(std::move(options))
{
}

QString AlertSenders::computerName()
{
    return QSysInfo::machineHostName();
}

std::optional<AlertOutcome> AlertSenders::fillServer(MailJob& job,
                                                     const AlertSettings& settings) const
{
    if (settings.text(Setting::SmtpServer).isEmpty())
        return AlertOutcome{AlertOutcome::Skipped, QStringLiteral("no SMTP server is set")};
    try {
        job.port = parseSmtpPort(text(settings.text(Setting::SmtpPort)));
    } catch (const ConvertError& e) {
        return AlertOutcome{AlertOutcome::Skipped,
                            QStringLiteral("the SMTP port: %1").arg(errorText(e))};
    }
    job.ssl = settings.isOn(Setting::UseSsl) ? 1 : 0;
    job.host = text(settings.text(Setting::SmtpServer));
    const QByteArray& username = settings.text(Setting::SmtpUsername);
    const QByteArray& password = settings.text(Setting::SmtpPassword);
    if (settings.isOn(Setting::NeedsLogin) && !username.isEmpty() && !password.isEmpty()) {
        job.username = text(username);
        job.password = text(password);
    }
    job.connectTimeoutSeconds = int(m_options.connectTimeout.count());
    job.replyTimeoutSeconds = int(m_options.replyTimeout.count());
    return std::nullopt;
}

AlertOutcome AlertSenders::sendEmail(const AddressChange& change,
                                     const AlertSettings& settings) const
{
    const QString recipients = alertmessages::cleanedRecipients(settings.text(Setting::Recipients));
    const QString sender = alertmessages::firstRecipient(recipients);
    if (sender.isEmpty())
        return {AlertOutcome::Skipped, QStringLiteral("no e-mail address is set")};
    MailJob job;
    if (const std::optional<AlertOutcome> skipped = fillServer(job, settings))
        return *skipped;
    job.subject = alertmessages::subject();
    job.body =
        alertmessages::emailBodyAt(change.when, computerName(), change.previous, change.current);
    job.from = sender;
    job.recipientList = recipients;
    AlertOutcome outcome =
        runHelper(m_options.mailHelper, QStringLiteral("mail helper"), job.encode());
    if (outcome.status == AlertOutcome::Sent)
        outcome.text = QStringLiteral("sent to %1").arg(recipients);
    return outcome;
}

AlertOutcome AlertSenders::sendTextMessage(const AddressChange& change,
                                           const AlertSettings& settings) const
{
    const QString sender = alertmessages::firstRecipient(
        alertmessages::cleanedRecipients(settings.text(Setting::Recipients)));
    if (sender.isEmpty())
        return {AlertOutcome::Skipped, QStringLiteral("no e-mail address is set to send it from")};
    const QByteArray& phoneNumber = settings.text(Setting::PhoneNumber);
    if (phoneNumber.isEmpty())
        return {AlertOutcome::Skipped, QStringLiteral("no phone number is set")};
    const QByteArray& carrier = settings.text(Setting::Carrier);
    if (carrier.isEmpty())
        return {AlertOutcome::Skipped, QStringLiteral("no carrier is chosen")};
    const QString gateway = alertmessages::carrierGateway(m_carriers, carrier);
    if (gateway.isEmpty())
        return {AlertOutcome::Skipped,
                QStringLiteral("the carrier \"%1\" is not in the carrier list").arg(text(carrier))};
    MailJob job;
    if (const std::optional<AlertOutcome> skipped = fillServer(job, settings))
        return *skipped;
    job.from = alerttexts::textMessageSender(sender);
    job.recipient = alerttexts::textMessageRecipient(text(phoneNumber), gateway);
    job.subject = alertmessages::subject();
    job.body = alertmessages::textBody(computerName(), change.current);
    AlertOutcome outcome =
        runHelper(m_options.mailHelper, QStringLiteral("mail helper"), job.encode());
    if (outcome.status == AlertOutcome::Sent)
        outcome.text = QStringLiteral("sent to %1").arg(job.recipient);
    return outcome;
}

AlertOutcome AlertSenders::runHelper(const QString& program, const QString& name,
                                     const QByteArray& job) const
{
    return runHelper(program, name, job,
                     m_options.connectTimeout + 10 * m_options.replyTimeout + HelperStartLimit);
}

AlertOutcome AlertSenders::runHelper(const QString& program, const QString& name,
                                     const QByteArray& job, std::chrono::milliseconds limit) const
{
    QProcess helper;
    helper.setProgram(program);
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startsWithDefaultSignals(helper);
    helper.start();
    if (!helper.waitForStarted(int(HelperStartLimit.count())))
        return {
            AlertOutcome::Failed,
            QStringLiteral("cannot start the %1 %2: %3").arg(name, program, helper.errorString())};
    helper.write(job);
    helper.closeWriteChannel();
    // The helper's own limits end an exchange with a silent server; this one
    // only guards against a helper that hangs for another reason.
    if (!helper.waitForFinished(int(limit.count()))) {
        helper.kill();
        helper.waitForFinished(int(HelperStartLimit.count()));
        return {AlertOutcome::Failed, QStringLiteral("the %1 did not finish in time").arg(name)};
    }
    const QString said = QString::fromLocal8Bit(helper.readAllStandardOutput()).trimmed();
    if (helper.exitStatus() != QProcess::NormalExit)
        return {AlertOutcome::Failed, QStringLiteral("the %1 crashed").arg(name)};
    switch (helper.exitCode()) {
    case 0:
        return {AlertOutcome::Sent, {}};
    case 1:
        return {AlertOutcome::Failed, said};
    default:
        return {AlertOutcome::Failed, QStringLiteral("the %1 refused the job (exit code %2): %3")
                                          .arg(name)
                                          .arg(helper.exitCode())
                                          .arg(said)};
    }
}

AlertOutcome AlertSenders::runProgram(const AddressChange& change,
                                      const AlertSettings& settings) const
{
    const QString program = text(settings.text(Setting::Program));
    const QFileInfo info(program);
    if (program.isEmpty() || !info.isFile() || !info.isExecutable())
        return {AlertOutcome::Skipped,
                QStringLiteral("'%1' is not an executable file").arg(program)};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_PUBLIC_IP"), change.current.publicIp);
    environment.insert(QStringLiteral("VELMORA_LOCAL_IP"), change.current.localIp);
    // Not as arguments: a program written for the two it always had keeps them.
    environment.insert(QStringLiteral("VELMORA_PUBLIC_IPV6"), change.current.publicIpv6);
    environment.insert(QStringLiteral("VELMORA_LOCAL_IPV6"), change.current.localIpv6);
    environment.insert(QStringLiteral("VELMORA_COMPUTER_NAME"), computerName());
    QString error;
    const std::optional<qint64> pid = startDetachedProgram(
        info.absoluteFilePath(), {change.current.publicIp, change.current.localIp}, environment,
        &error);
    if (!pid)
        return {AlertOutcome::Failed, QStringLiteral("cannot start %1: %2").arg(program, error)};
    return {AlertOutcome::Sent, QStringLiteral("started %1 as process %2").arg(program).arg(*pid)};
}

AlertOutcome AlertSenders::uploadPage(const AddressChange& change,
                                      const AlertSettings& settings) const
{
    if (settings.text(Setting::FtpHost).isEmpty())
        return {AlertOutcome::Skipped, QStringLiteral("no FTP host is set")};
    const QString templateFile = m_configDir + QStringLiteral("/velmora.html");
    if (!QFileInfo::exists(templateFile))
        return {AlertOutcome::Skipped,
                QStringLiteral("there is no page template %1").arg(templateFile)};
    if (const QString kind = privatefile::kindOfNonFile(templateFile, privatefile::Links::Followed);
        !kind.isEmpty())
        return {AlertOutcome::Skipped,
                QStringLiteral("the page template %1 is %2, not a file").arg(templateFile, kind)};
    PageJob job;
    job.host = text(settings.text(Setting::FtpHost));
    job.port = m_options.ftpPort;
    job.username = text(settings.text(Setting::FtpUsername));
    job.password = text(settings.text(Setting::FtpPassword));
    job.replyTimeoutSeconds = int(m_options.replyTimeout.count());
    job.templateFile = templateFile;
    job.replacements = {{QStringLiteral("[[ComputerName]]"), computerName()},
                        {QStringLiteral("[[PublicIPAddress]]"), change.current.publicIp},
                        {QStringLiteral("[[LocalIPAddress]]"), change.current.localIp},
                        {QStringLiteral("[[PublicIPv6Address]]"), change.current.publicIpv6},
                        {QStringLiteral("[[LocalIPv6Address]]"), change.current.localIpv6}};
    job.remoteName = QStringLiteral("velmora.html");
    AlertOutcome outcome =
        runHelper(m_options.pageHelper, QStringLiteral("page helper"), job.encode());
    if (outcome.status == AlertOutcome::Sent)
        outcome.text = QStringLiteral("uploaded to %1").arg(job.host);
    return outcome;
}

AlertOutcome AlertSenders::sendPush(const AddressChange& change,
                                    const AlertSettings& settings) const
{
    const pushmessage::Facts facts{computerName(),
                                   change.previous.publicIp,
                                   change.current.publicIp,
                                   change.previous.localIp,
                                   change.current.localIp,
                                   change.when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                   change.previous.publicIpv6,
                                   change.current.publicIpv6,
                                   change.previous.localIpv6,
                                   change.current.localIpv6};
    std::variant<PushJob, pushmessage::Unusable> made =
        pushmessage::job(settings, facts, alertmessages::subject());
    if (const auto* unusable = std::get_if<pushmessage::Unusable>(&made))
        return {AlertOutcome::Skipped, unusable->reason};
    PushJob& job = std::get<PushJob>(made);
    job.timeoutSeconds = int(m_options.pushTimeout.count());
    const std::chrono::milliseconds limit = m_options.pushTimeout + 2 * HelperStartLimit;
    AlertOutcome outcome =
        runHelper(m_options.pushHelper, QStringLiteral("push helper"), job.encode(), limit);
    // The helper never tells a secret; this keeps one out of the log whatever it said.
    outcome.text = pushmessage::redacted(outcome.text, job.secrets);
    if (outcome.status == AlertOutcome::Sent)
        outcome.text = QStringLiteral("sent to %1").arg(pushmessage::destination(job));
    return outcome;
}
