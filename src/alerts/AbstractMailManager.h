#pragma once

#include "alerts/Email.h"

#include <QString>

// The operations the window and the service use to send an e-mail, so that
// their tests can put a recording double in place of the real engine.
// Settings keep the engine's names: SmtpSsl, SmtpHost, SmtpPort, SmtpUsername
// and SmtpPassword are set by setSmtpSsl(), setSmtpHost() and so on.
class AbstractMailManager
{
public:
    virtual ~AbstractMailManager() = default;

    // 1: TLS from the first byte; any other value: STARTTLS when the server offers it.
    virtual void setSmtpSsl(int ssl) = 0;
    virtual void setSmtpHost(const QString& host) = 0;
    virtual void setSmtpPort(int port) = 0;
    virtual void setSmtpUsername(const QString& username) = 0;
    virtual void setSmtpPassword(const QString& password) = 0;

    // 1 when the server took the message; any other value when it was not sent,
    // and LastErrorText() tells why. Never throws for a failed send.
    virtual int SendEmail(const Email& email) = 0;
    // What went wrong in the last unsuccessful SendEmail, several lines long.
    virtual QString LastErrorText() const = 0;
    // Ends the SMTP connection kept open since the last send. The result means nothing.
    virtual int CloseSmtpConnection() = 0;
};
