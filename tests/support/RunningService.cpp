#include "support/RunningService.h"
#include "common/SettingSpelling.h"

#include "servers/FreePort.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"
#include "support/ProgramRun.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

RunningService::RunningService() : m_port(testservers::freePort())
{
    // Private, as the service leaves it after its first start.
    QDir().mkpath(configDir());
    QFile::setPermissions(configDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment = testfiles::userEnvironment(m_folder.path());
}

bool RunningService::useDefaultLogFile()
{
    m_defaultLogFile = true;
    // The copy finds its helpers from its own folder, as in the build tree.
    const QString helpers = m_folder.path() + QStringLiteral("/libexec");
    return QDir().mkpath(QFileInfo(programCopy()).path()) &&
           (QFile::exists(programCopy()) || QFile::copy(program(), programCopy())) &&
           (QFileInfo(helpers).isSymLink() ||
            QFile::link(qEnvironmentVariable("VELMORA_BINARY_DIR") + QStringLiteral("/libexec"),
                        helpers));
}

QString RunningService::logFile() const
{
    return m_defaultLogFile ? stateDir() + QStringLiteral("/velmora.log")
                            : m_folder.path() + QStringLiteral("/velmora.log");
}

int RunningService::runOnce(const QStringList& arguments, QString* output) const
{
    return runToEnd(m_defaultLogFile ? programCopy() : program(), arguments, output, m_environment);
}

QString RunningService::program()
{
    return qEnvironmentVariable("VELMORA_BINARY_DIR") + QStringLiteral("/bin/velmora-service");
}

QStringList RunningService::arguments(const QList<QUrl>& echoUrls, const QStringList& extra) const
{
    QStringList arguments{QStringLiteral("--port"),         QString::number(m_port),
                          QStringLiteral("--config-dir"),   configDir(),
                          QStringLiteral("--echo-min-gap"), QStringLiteral("0"),
                          QStringLiteral("--echo-timeout"), QStringLiteral("2")};
    if (!m_defaultLogFile)
        arguments << QStringLiteral("--log-file") << logFile();
    for (const QUrl& url : echoUrls)
        arguments << QStringLiteral("--echo-url") << url.toString();
    return arguments + extra;
}

bool RunningService::start(const QList<QUrl>& echoUrls, const QStringList& extra)
{
    return m_process.start(m_defaultLogFile ? programCopy() : program(), arguments(echoUrls, extra),
                           m_port, testtime::scaled(30000), environment());
}

bool RunningService::startAs(const QStringList& prefix, const QString& program,
                             const QList<QUrl>& echoUrls, const QStringList& extra)
{
    if (prefix.isEmpty())
        return m_process.start(program, arguments(echoUrls, extra), m_port, testtime::scaled(30000),
                               environment());
    QStringList all = prefix.mid(1);
    all << program << arguments(echoUrls, extra);
    return m_process.start(prefix.first(), all, m_port, testtime::scaled(30000), environment());
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

QByteArray RunningService::keyedStatus(const QByteArray& key) const
{
    for (const QByteArray& line : request(service::GetKeyedStatus)) {
        if (line.startsWith(key + '='))
            return spelling::splitKeyedLine(line).second;
    }
    return {};
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
