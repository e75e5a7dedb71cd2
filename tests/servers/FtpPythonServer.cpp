#include "servers/FtpPythonServer.h"

#include "servers/FreePort.h"

#include <QFile>

namespace testservers {

FtpPythonServer::FtpPythonServer() : FtpPythonServer(Options{}) {}

FtpPythonServer::FtpPythonServer(Options options) : m_options(std::move(options)) {}

bool FtpPythonServer::start()
{
    if (!m_home.isValid() || !m_logFolder.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1 %2")
                      .arg(m_home.errorString(), m_logFolder.errorString());
        return false;
    }
    m_port = freePort();
    QStringList arguments{ServerProcess::script(QStringLiteral("ftp_server.py")),
                          QStringLiteral("--port"),
                          QString::number(m_port),
                          QStringLiteral("--home"),
                          m_home.path(),
                          QStringLiteral("--user"),
                          userName() + QLatin1Char(':') + password(),
                          QStringLiteral("--user"),
                          readOnlyUserName() + QLatin1Char(':') + readOnlyPassword() +
                              QStringLiteral(":elr"),
                          QStringLiteral("--behaviour"),
                          m_options.behaviour,
                          QStringLiteral("--command-log"),
                          m_logFolder.filePath(QStringLiteral("commands.log"))};
    if (!m_options.banner.isEmpty())
        arguments << QStringLiteral("--banner") << m_options.banner;
    // Debian's interpreter, which has pyftpdlib, whatever python3 is first on PATH.
    if (m_process.start(QStringLiteral("/usr/bin/python3"), arguments, m_port))
        return true;
    m_error = m_process.errorText();
    return false;
}

QStringList FtpPythonServer::receivedCommands() const
{
    QFile log(m_logFolder.filePath(QStringLiteral("commands.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace testservers
