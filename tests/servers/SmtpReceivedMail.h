#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testservers {

// One message as the test SMTP server received it.
struct SmtpReceivedMail
{
    QByteArray data;        // the bytes after DATA, dot-stuffing undone, up to the final dot
    QString mailFrom;       // envelope sender as given to MAIL FROM
    QStringList recipients; // envelope recipients as given to RCPT TO, accepted ones only
    bool tls = false;       // the session was encrypted when the message came
    QString login;          // the user that authenticated, empty without AUTH
};

} // namespace testservers
