#pragma once

#include <QString>
#include <stdexcept>

// Any failure of an FTP exchange. what() is a text the user can act on (UTF-8).
class FtpError : public std::runtime_error
{
public:
    explicit FtpError(const QString& message) : std::runtime_error(message.toStdString()) {}
};
