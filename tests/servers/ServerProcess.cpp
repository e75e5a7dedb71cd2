#include "servers/ServerProcess.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

namespace testservers {

ServerProcess::~ServerProcess()
{
    stop();
}

bool portAcceptsConnections(quint16 port, const QHostAddress& host)
{
    QTcpSocket socket;
    socket.connectToHost(host, port);
    return socket.waitForConnected(testtime::scaled(200));
}

bool ServerProcess::start(const QString& program, const QStringList& arguments, quint16 port,
                          int timeoutMs, const QProcessEnvironment& env)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setProcessEnvironment(env);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString());
        return false;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running) {
            m_error = QStringLiteral("%1 exited early: %2").arg(program, output());
            return false;
        }
        if (portAcceptsConnections(port, m_listenAddress))
            return true;
        QThread::msleep(20);
    }
    m_error = QStringLiteral("%1 did not listen on port %2 in time: %3")
                  .arg(program)
                  .arg(port)
                  .arg(output());
    stop();
    return false;
}

void ServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(testtime::scaled(3000))) {
        m_process.kill();
        m_process.waitForFinished(testtime::scaled(3000));
    }
}

bool ServerProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

QString ServerProcess::output()
{
    return QString::fromLocal8Bit(m_process.readAll());
}

QString ServerProcess::script(const QString& name)
{
    return QStringLiteral(VELMORA_TEST_SERVERS_DIR "/") + name;
}

} // namespace testservers
