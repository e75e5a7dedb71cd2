#include "servers/SmtpServer.h"

#include "servers/FreePort.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

using testfiles::readFile;

namespace testservers {

namespace {

QString modeName(SmtpServer::Security security)
{
    switch (security) {
    case SmtpServer::Security::StartTls:
        return QStringLiteral("starttls");
    case SmtpServer::Security::ImplicitTls:
        return QStringLiteral("tls");
    case SmtpServer::Security::Plain:
        break;
    }
    return QStringLiteral("plain");
}

} // namespace

bool SmtpServer::start(const Options& options)
{
    m_port = options.port != 0 ? options.port : freePort();
    QStringList arguments{ServerProcess::script(QStringLiteral("smtp_server.py")),
                          QStringLiteral("--port"),
                          QString::number(m_port),
                          QStringLiteral("--mode"),
                          modeName(options.security),
                          QStringLiteral("--store"),
                          m_dir.filePath(QStringLiteral("store")),
                          QStringLiteral("--events"),
                          m_dir.filePath(QStringLiteral("events")),
                          QStringLiteral("--mechanisms"),
                          options.mechanisms};
    if (options.security != Security::Plain)
        arguments << QStringLiteral("--cert") << options.certificate << QStringLiteral("--key")
                  << options.key;
    if (!options.user.isEmpty())
        arguments << QStringLiteral("--user") << options.user << QStringLiteral("--password")
                  << options.password;
    for (const QString& address : options.rejectedRecipients)
        arguments << QStringLiteral("--reject") << address;
    // Debian's interpreter, which has python3-aiosmtpd; python3 on PATH may not.
    if (!m_process.start(QStringLiteral("/usr/bin/python3"), arguments, m_port))
        return false;
    // The readiness probe was a connection too: once it is logged as closed,
    // every later event is the client's own. (With TLS from the first byte the
    // probe, which never shakes hands, is not a session and is not logged.)
    const QDeadlineTimer deadline(testtime::scaled(5000));
    while (options.security != Security::ImplicitTls && eventCount(QStringLiteral("close")) < 1 &&
           !deadline.hasExpired())
        QThread::msleep(10);
    return true;
}

QList<SmtpReceivedMail> SmtpServer::messages() const
{
    QList<SmtpReceivedMail> result;
    const QDir store(m_dir.filePath(QStringLiteral("store")));
    for (int n = 1; store.exists(QStringLiteral("%1.json").arg(n)); ++n) {
        const QJsonObject envelope =
            QJsonDocument::fromJson(readFile(store.filePath(QStringLiteral("%1.json").arg(n))))
                .object();
        SmtpReceivedMail mail;
        mail.data = readFile(store.filePath(QStringLiteral("%1.eml").arg(n)));
        mail.mailFrom = envelope.value(QStringLiteral("mail_from")).toString();
        for (const QJsonValue& recipient : envelope.value(QStringLiteral("rcpt_tos")).toArray())
            mail.recipients.append(recipient.toString());
        mail.tls = envelope.value(QStringLiteral("tls")).toBool();
        mail.login = envelope.value(QStringLiteral("login")).toString();
        result.append(mail);
    }
    return result;
}

int SmtpServer::eventCount(const QString& event) const
{
    const QList<QByteArray> lines = readFile(m_dir.filePath(QStringLiteral("events"))).split('\n');
    return static_cast<int>(lines.count(event.toUtf8()));
}

} // namespace testservers
