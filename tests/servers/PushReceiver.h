#pragma once

#include "servers/ServerProcess.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

namespace testservers {

// push_receiver.py on 127.0.0.1: the receiving end of a push service, over
// HTTPS with a certificate of the test CA (or plain HTTP), recording every
// request; its paths answer with a status, redirect, or send a large answer
// (see the script).
class PushReceiver
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        // The value of the header `name` (any letter case); empty when absent.
        QByteArray header(const QByteArray& name) const;
    };

    // Plain HTTP when certificate is empty.
    bool start(const QString& certificate = {}, const QString& key = {});
    QString errorText() const { return m_error; }

    // "https://127.0.0.1:<port>" (or http), no slash at the end.
    QString baseUrl() const;
    QList<Request> requests() const;

private:
    QTemporaryDir m_dir;
    ServerProcess m_server;
    quint16 m_port = 0;
    bool m_tls = false;
    QString m_error;
};

} // namespace testservers
