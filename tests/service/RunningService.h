#pragma once

#include "servers/ServerProcess.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

// The real velmora-service for one test: its own port, config folder and
// history file in a temporary folder, stopped (SIGTERM) when the object goes.
class RunningService
{
public:
    RunningService();

    static QString program();

    quint16 port() const { return m_port; }
    QString folder() const { return m_folder.path(); }
    QString configDir() const { return m_folder.path() + QStringLiteral("/config"); }
    QString settingsFile() const { return configDir() + QStringLiteral("/settings.conf"); }
    QString logFile() const { return m_folder.path() + QStringLiteral("/velmora.log"); }

    // The arguments that point the service at this object's folder and port,
    // with quick timing; extra ones are appended.
    QStringList arguments(const QList<QUrl>& echoUrls, const QStringList& extra = {}) const;

    // Starts the service and waits until it listens; false (with errorText()) otherwise.
    bool start(const QList<QUrl>& echoUrls, const QStringList& extra = {});
    // Starts `program` (a copy of the service) behind a command such as setpriv.
    bool startAs(const QStringList& prefix, const QString& program, const QList<QUrl>& echoUrls,
                 const QStringList& extra = {});
    void stop() { m_process.stop(); }
    bool isRunning() const { return m_process.isRunning(); }
    qint64 processId() const { return m_process.processId(); }
    QString errorText() const { return m_process.errorText(); }
    // What the service wrote to stderr so far.
    QString output();

    // One exchange as the window makes it (throws ServiceLinkError).
    QList<QByteArray> request(const char* command) const;
    void save(const QList<QByteArray>& saveList) const;

    QList<QByteArray> historyLines() const;

private:
    QTemporaryDir m_folder;
    quint16 m_port;
    testservers::ServerProcess m_process;
    QString m_output;
};
