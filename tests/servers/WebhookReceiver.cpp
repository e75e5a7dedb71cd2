#include "servers/WebhookReceiver.h"

#include "servers/FreePort.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace testservers {

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

bool WebhookReceiver::start(const QStringList& plan)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    QFile planFile(m_dir.filePath(QStringLiteral("plan")));
    if (!planFile.open(QIODevice::WriteOnly) ||
        planFile.write(plan.join(u'\n').toUtf8() + '\n') < 0)
        return false;
    planFile.close();
    const QJsonArray arguments{
        QJsonObject{{QStringLiteral("source"), QStringLiteral("string")},
                    {QStringLiteral("name"), m_dir.path()}},
        QJsonObject{{QStringLiteral("source"), QStringLiteral("raw-request-body")}},
        QJsonObject{{QStringLiteral("source"), QStringLiteral("entire-headers")}},
        QJsonObject{{QStringLiteral("source"), QStringLiteral("request")},
                    {QStringLiteral("name"), QStringLiteral("method")}}};
    const QJsonArray hooks{
        QJsonObject{{QStringLiteral("id"), QStringLiteral("push")},
                    {QStringLiteral("execute-command"), ServerProcess::script("webhook_hook.sh")},
                    {QStringLiteral("include-command-output-in-response"), true},
                    {QStringLiteral("pass-arguments-to-command"), arguments}},
        QJsonObject{
            {QStringLiteral("id"), QStringLiteral("denied")},
            {QStringLiteral("execute-command"), QStringLiteral("/bin/true")},
            {QStringLiteral("trigger-rule-mismatch-http-response-code"), 401},
            {QStringLiteral("trigger-rule"),
             QJsonObject{
                 {QStringLiteral("match"),
                  QJsonObject{
                      {QStringLiteral("type"), QStringLiteral("value")},
                      {QStringLiteral("value"), QStringLiteral("never")},
                      {QStringLiteral("parameter"),
                       QJsonObject{{QStringLiteral("source"), QStringLiteral("header")},
                                   {QStringLiteral("name"), QStringLiteral("X-Never-Sent")}}}}}}}}};
    const QString hooksFile = m_dir.filePath(QStringLiteral("hooks.json"));
    QFile file(hooksFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(hooks).toJson()) < 0) {
        m_error = QStringLiteral("cannot write %1").arg(hooksFile);
        return false;
    }
    file.close();
    m_port = freePort();
    if (!m_server.start(QStringLiteral("webhook"),
                        {QStringLiteral("-hooks"), hooksFile, QStringLiteral("-ip"),
                         QStringLiteral("127.0.0.1"), QStringLiteral("-port"),
                         QString::number(m_port), QStringLiteral("-verbose")},
                        m_port)) {
        m_error = m_server.errorText();
        return false;
    }
    return true;
}

QString WebhookReceiver::url(const QString& hook) const
{
    return QStringLiteral("http://127.0.0.1:%1/hooks/%2").arg(m_port).arg(hook);
}

int WebhookReceiver::requestCount() const
{
    return readAll(m_dir.filePath(QStringLiteral("count"))).trimmed().toInt();
}

QList<double> WebhookReceiver::requestTimes() const
{
    QList<double> times;
    for (const QByteArray& line : readAll(m_dir.filePath(QStringLiteral("times"))).split('\n')) {
        if (!line.trimmed().isEmpty())
            times << line.trimmed().toDouble();
    }
    return times;
}

QList<WebhookReceiver::Request> WebhookReceiver::kept() const
{
    QList<Request> requests;
    for (int n = 1; n <= requestCount(); ++n) {
        const QString body = m_dir.filePath(QStringLiteral("body.%1").arg(n));
        if (!QFile::exists(body))
            continue;
        Request request;
        request.body = readAll(body);
        request.method = readAll(m_dir.filePath(QStringLiteral("method.%1").arg(n)));
        request.headers =
            QJsonDocument::fromJson(readAll(m_dir.filePath(QStringLiteral("headers.%1").arg(n))))
                .object();
        requests << request;
    }
    return requests;
}

} // namespace testservers
