// velmora-send-mail: sends one alert message for velmora-service and ends. The
// service runs it for every e-mail and text message, so that the mail engine
// and its TLS libraries stay out of the resident service.
//
// Standard input: one MailJob. Exit code 0 when the server took the message, 1
// when the send failed (the first line of the reason on standard output), 2 when
// the input is not a job.
#include "alerts/Email.h"
#include "alerts/MailError.h"
#include "alerts/MailManager.h"
#include "alerts/MailRuntime.h"
#include "common/AlertTexts.h"
#include "helpers/MailJob.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <chrono>
#include <cstdio>
#include <optional>

namespace {

// A job is a few kilobytes; anything far larger is not one.
constexpr qint64 MaxJobSize = 1 << 20;

// The first line of the engine's error text: enough to tell what went wrong,
// and never the exchange itself.
QString firstLine(const QString& errorText)
{
    return alerttexts::withoutEngineLogTags(errorText).trimmed().section(u'\n', 0, 0).trimmed();
}

} // namespace

int main()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 2;
    const QByteArray bytes = input.read(MaxJobSize + 1);
    const std::optional<MailJob> job = MailJob::decode(bytes);
    if (bytes.size() > MaxJobSize || !job) {
        std::fputs("not a mail job\n", stdout);
        return 2;
    }

    std::optional<MailRuntime> runtime;
    try {
        runtime.emplace();
    } catch (const MailError& e) {
        std::fprintf(stdout, "%s\n", e.what());
        return 1;
    }
    MailManager manager;
    if (job->ssl == 1)
        manager.setSmtpSsl(1);
    manager.setSmtpHost(job->host);
    manager.setSmtpPort(job->port);
    if (!job->username.isEmpty()) {
        manager.setSmtpUsername(job->username);
        manager.setSmtpPassword(job->password);
    }
    manager.setConnectTimeout(std::chrono::seconds(job->connectTimeoutSeconds));
    manager.setReplyTimeout(std::chrono::seconds(job->replyTimeoutSeconds));

    Email email;
    email.setFrom(job->from);
    if (!job->recipientList.isEmpty())
        email.AddRecipientList(job->recipientList);
    if (!job->recipient.isEmpty())
        email.AddRecipient(QString(), job->recipient);
    email.setSubject(job->subject);
    email.setBody(job->body);
    const int result = manager.SendEmail(email);
    const QString error = result == 1 ? QString() : firstLine(manager.LastErrorText());
    manager.CloseSmtpConnection();
    if (result != 1) {
        std::fputs(qPrintable(error + u'\n'), stdout);
        return 1;
    }
    return 0;
}
