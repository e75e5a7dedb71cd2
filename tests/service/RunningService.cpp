#include "RunningService.h"

#include "servers/FreePort.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"

#include <QDir>
#include <QFile>

RunningService::RunningService() : m_port(testservers::freePort())
{
    QDir(m_folder.path()).mkpath(QStringLiteral("config"));
}

QString RunningService::program()
{
    return qEnvironmentVariable("VELMORA_BINARY_DIR") + QStringLiteral("/bin/velmora-service");
}

QStringList RunningService::arguments(const QList<QUrl>& echoUrls, const QStringList& extra) const
{
    QStringList arguments{QStringLiteral("--port"),         QString::number(m_port),
                          QStringLiteral("--config-dir"),   configDir(),
                          QStringLiteral("--log-file"),     logFile(),
                          QStringLiteral("--echo-min-gap"), QStringLiteral("0"),
                          QStringLiteral("--echo-timeout"), QStringLiteral("2")};
    for (const QUrl& url : echoUrls)
        arguments << QStringLiteral("--echo-url") << url.toString();
    return arguments + extra;
}

bool RunningService::start(const QList<QUrl>& echoUrls, const QStringList& extra)
{
    return m_process.start(program(), arguments(echoUrls, extra), m_port);
}

bool RunningService::startAs(const QStringList& prefix, const QString& program,
                             const QList<QUrl>& echoUrls, const QStringList& extra)
{
    QStringList all = prefix.mid(1);
    all << program << arguments(echoUrls, extra);
    return m_process.start(prefix.first(), all, m_port);
}

QString RunningService::output()
{
    m_output += m_process.output();
    return m_output;
}

QList<QByteArray> RunningService::request(const char* command) const
{
    TcpClient client(QStringLiteral("127.0.0.1"), m_port);
    ServiceTransaction transaction(client);
    return service::request(transaction, command);
}

void RunningService::save(const QList<QByteArray>& saveList) const
{
    TcpClient client(QStringLiteral("127.0.0.1"), m_port);
    ServiceTransaction transaction(client);
    service::sendSettings(transaction, saveList);
}

QList<QByteArray> RunningService::historyLines() const
{
    QFile file(logFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
