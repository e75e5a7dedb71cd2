#pragma once

#include <QString>
#include <stdexcept>

// A failure of the mail engine; what() is a text meant for the user.
class MailError : public std::runtime_error
{
public:
    explicit MailError(const QString& text) : std::runtime_error(text.toStdString()) {}
};
