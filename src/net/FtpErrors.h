#pragma once

#include "net/FtpReply.h"

#include <QString>
#include <stdexcept>

// What the FTP client throws. Every what() is a text the user can act on (UTF-8).

// Any failure of an FTP exchange.
class FtpError : public std::runtime_error
{
public:
    explicit FtpError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The server's host name could not be resolved to an IPv4 address.
class FtpHostNotFoundError : public FtpError
{
public:
    using FtpError::FtpError;
};

// The control connection could not be made (refused, unreachable) or broke off.
class FtpConnectionError : public FtpError
{
public:
    using FtpError::FtpError;
};

// The server did not answer within the time limit.
class FtpTimeoutError : public FtpError
{
public:
    using FtpError::FtpError;
};

// The data connection for a transfer could not be made or broke off. In active
// mode the server connects back to this computer, which routers and firewalls
// often block.
class FtpDataConnectionError : public FtpError
{
public:
    using FtpError::FtpError;
};

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

// The server refused the user name or the password.
class FtpLoginError : public FtpServerError
{
public:
    using FtpServerError::FtpServerError;
};

// The server refused to store the uploaded file, or did not keep it whole.
class FtpStoreError : public FtpServerError
{
public:
    using FtpServerError::FtpServerError;
};
