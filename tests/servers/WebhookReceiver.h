#pragma once

#include "servers/ServerProcess.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

namespace testservers {

// Debian's webhook server on 127.0.0.1 with two hooks: "push", whose command
// (webhook_hook.sh) keeps what each request brought or fails as the plan says,
// and "denied", which answers every request with HTTP 401 "Hook rules were not
// satisfied.".
class WebhookReceiver
{
public:
    // A request the "push" hook kept.
    struct Request
    {
        QByteArray method;
        QByteArray body;
        QJsonObject headers; // as webhook gives them: "Content-Type", "Authorization"...
    };

    // plan: "accept", "fail" or "stall <seconds>" for each request in turn, the
    // last one for all that follow.
    bool start(const QStringList& plan = {QStringLiteral("accept")});
    QString errorText() const { return m_error; }
    QString output() { return m_server.output(); }

    QString url(const QString& hook = QStringLiteral("push")) const;
    // The requests that reached the "push" hook, whatever the plan did with them.
    int requestCount() const;
    // When each of them came (seconds since the epoch).
    QList<double> requestTimes() const;
    // The requests it kept, in the order they came.
    QList<Request> kept() const;

private:
    QTemporaryDir m_dir;
    ServerProcess m_server;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace testservers
