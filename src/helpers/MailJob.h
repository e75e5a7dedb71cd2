#pragma once

#include "common/TimeLimits.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One message for the mail helper (velmora-send-mail): the server, the
// credentials and the message itself. The service hands it over on the
// helper's standard input, never on its command line, where other users of the
// machine could read the password.
struct MailJob
{
    // The server, as the mail engine takes it (ssl 1: TLS from the first byte).
    int ssl = 0;
    QString host;
    int port = 25;
    QString username; // no authentication when empty
    QString password;
    int connectTimeoutSeconds = int(timelimits::SmtpConnect.count());
    int replyTimeoutSeconds = int(timelimits::SmtpReply.count());

    QString from;
    QString recipientList; // comma-separated, as the settings keep them
    QString recipient;     // one more recipient taken as it stands, such as "<phone@gateway>"
    QString subject;
    QString body;

    QByteArray encode() const;
    // Nothing when the bytes are not a whole job.
    static std::optional<MailJob> decode(const QByteArray& bytes);
};
