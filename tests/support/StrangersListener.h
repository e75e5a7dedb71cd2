#pragma once

#include "support/ThrowawayUser.h"

#include <QProcess>
#include <QString>

// A listener of another user on 127.0.0.1: it takes each connection and
// closes it again, until it is stopped. Only root can make one (see
// ThrowawayUser): start() fails otherwise, and errorText() says why.
class StrangersListener
{
public:
    StrangersListener() = default;
    ~StrangersListener();
    StrangersListener(const StrangersListener&) = delete;
    StrangersListener& operator=(const StrangersListener&) = delete;

    // Listens on the given port; returns once it does (or could not).
    bool start(quint16 port);
    void stop();
    QString errorText() const { return m_error; }

private:
    ThrowawayUser m_user;
    QProcess m_process;
    QString m_error;
};
