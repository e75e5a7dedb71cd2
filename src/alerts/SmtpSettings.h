#pragma once

#include "common/TimeLimits.h"

#include <QString>
#include <chrono>

// Where and how a mail manager reaches its SMTP server.
struct SmtpSettings
{
    // 1: TLS from the first byte (smtps, usually port 465). Anything else: plain
    // SMTP that switches to TLS with STARTTLS whenever the server offers it.
    int ssl = 0;
    QString host;
    int port = 25;
    // Authentication is tried only with a user name.
    QString username;
    QString password;
    // Time for the connection and the server's greeting, and for each later reply,
    // so that a server that stops answering cannot hold a send for ever.
    std::chrono::seconds connectTimeout{timelimits::SmtpConnect};
    std::chrono::seconds replyTimeout{timelimits::SmtpReply};
};
