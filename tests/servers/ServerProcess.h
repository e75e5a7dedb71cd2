#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace testservers {

// A server program started for one test and killed when the object goes.
// Its output is kept so that a failing test can show it.
class ServerProcess
{
public:
    ServerProcess() = default;
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts the program and waits until 127.0.0.1:port accepts connections.
    // Returns false (with errorText() set) when it exits or does not listen in time.
    bool start(const QString& program, const QStringList& arguments, quint16 port,
               int timeoutMs = 30000,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    void stop();
    bool isRunning() const;
    qint64 processId() const { return m_process.processId(); }
    QString output();
    QString errorText() const { return m_error; }

    // Path of a file in tests/servers/.
    static QString script(const QString& name);

private:
    QProcess m_process;
    QString m_error;
};

// True when 127.0.0.1:port accepts a TCP connection right now.
bool portAcceptsConnections(quint16 port);

} // namespace testservers
