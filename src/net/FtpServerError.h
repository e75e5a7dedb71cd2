#pragma once

#include "net/FtpError.h"
#include "net/FtpReply.h"

// The server refused a command. The message is the server's own reply text,
// which says best what went wrong.
class FtpServerError : public FtpError
{
public:
    explicit FtpServerError(const FtpReply& reply) : FtpError(messageFor(reply)), m_code(reply.code)
    {
    }
    int replyCode() const { return m_code; }

private:
    static QString messageFor(const FtpReply& reply)
    {
        const QString text = reply.text().trimmed();
        return text.isEmpty() ? QStringLiteral("The FTP server answered %1.").arg(reply.code)
                              : text;
    }

    int m_code;
};
