#pragma once

#include "support/TestTime.h"

#include <QHostAddress>
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

    // Where start() waits for the program to listen: 127.0.0.1 unless set.
    void setListenAddress(const QHostAddress& address) { m_listenAddress = address; }
    // Starts the program and waits until the listen address's port accepts connections.
    // Returns false (with errorText() set) when it exits or does not listen in time.
    bool start(const QString& program, const QStringList& arguments, quint16 port,
               int timeoutMs = testtime::scaled(30000),
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
    QHostAddress m_listenAddress{QHostAddress::LocalHost};
    QString m_error;
};

// True when 127.0.0.1:port (or host:port) accepts a TCP connection right now.
bool portAcceptsConnections(quint16 port,
                            const QHostAddress& host = QHostAddress(QHostAddress::LocalHost));

} // namespace testservers
