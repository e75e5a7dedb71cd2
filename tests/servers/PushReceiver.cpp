#include "servers/PushReceiver.h"

#include "servers/FreePort.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace testservers {

QByteArray PushReceiver::Request::header(const QByteArray& name) const
{
    for (const auto& [headerName, value] : headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool PushReceiver::start(const QString& certificate, const QString& key)
{
    m_port = freePort();
    m_tls = !certificate.isEmpty();
    QStringList arguments{ServerProcess::script(QStringLiteral("push_receiver.py")),
                          QStringLiteral("--port"), QString::number(m_port),
                          QStringLiteral("--log"), m_dir.filePath(QStringLiteral("requests"))};
    if (m_tls)
        arguments << QStringLiteral("--cert") << certificate << QStringLiteral("--key") << key;
    if (!m_server.start(QStringLiteral("/usr/bin/python3"), arguments, m_port)) {
        m_error = m_server.errorText();
        return false;
    }
    return true;
}

QString PushReceiver::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_port);
}

QList<PushReceiver::Request> PushReceiver::requests() const
{
    QFile file(m_dir.filePath(QStringLiteral("requests")));
    QList<Request> requests;
    if (!file.open(QIODevice::ReadOnly))
        return requests;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.isEmpty())
            continue;
        Request request;
        request.method = object.value(QStringLiteral("method")).toString().toUtf8();
        request.path = object.value(QStringLiteral("path")).toString().toUtf8();
        request.body = object.value(QStringLiteral("body")).toString().toUtf8();
        for (const QJsonValue& header : object.value(QStringLiteral("headers")).toArray()) {
            const QJsonArray pair = header.toArray();
            request.headers.append(
                {pair.at(0).toString().toUtf8(), pair.at(1).toString().toUtf8()});
        }
        requests << request;
    }
    return requests;
}

} // namespace testservers
