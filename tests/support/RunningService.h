#pragma once

#include "servers/ServerProcess.h"

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

// The real velmora-service for one test, as a user of its own: its own port,
// and its config, state and runtime folders (XDG_CONFIG_HOME, XDG_STATE_HOME,
// XDG_RUNTIME_DIR) in a temporary folder; the history file there too unless the
// test asks for the default one. Stopped (SIGTERM) when the object goes.
class RunningService
{
public:
    RunningService();

    static QString program();

    quint16 port() const { return m_port; }
    QString folder() const { return m_folder.path(); }
    QString configHome() const { return m_folder.path() + QStringLiteral("/config"); }
    QString configDir() const { return configHome() + QStringLiteral("/velmora"); }
    QString settingsFile() const { return configDir() + QStringLiteral("/settings.conf"); }
    QString stateHome() const { return m_folder.path() + QStringLiteral("/state"); }
    QString stateDir() const { return stateHome() + QStringLiteral("/velmora"); }
    QString runtimeDir() const { return m_folder.path() + QStringLiteral("/runtime"); }
    QString logFile() const;
    // The service's environment: the test's, with the folders above.
    QProcessEnvironment environment() const { return m_environment; }
    void setEnvironment(const QProcessEnvironment& environment) { m_environment = environment; }

    // Without --log-file: the history goes where the service puts it by default.
    // The service then moves a log it finds beside its program: it runs from a
    // copy in the test's folder (programCopy()), never from the build's, with the build's
    // helpers linked beside it.
    bool useDefaultLogFile();
    QString programCopy() const { return m_folder.path() + QStringLiteral("/bin/velmora-service"); }

    // The arguments that point the service at this object's folder and port,
    // with quick timing; extra ones are appended.
    QStringList arguments(const QList<QUrl>& echoUrls, const QStringList& extra = {}) const;

    // Starts the service and waits until it listens; false (with errorText()) otherwise.
    bool start(const QList<QUrl>& echoUrls, const QStringList& extra = {});
    // Starts `program` (a copy of the service), behind a command such as setpriv
    // when `prefix` names one.
    bool startAs(const QStringList& prefix, const QString& program, const QList<QUrl>& echoUrls,
                 const QStringList& extra = {});
    // The program run once more, as this service's user, until it ends (30 s at
    // most); its exit code, or -1 when it did not end. Its stdout and stderr go to output.
    int runOnce(const QStringList& arguments, QString* output = nullptr) const;
    void stop() { m_process.stop(); }
    bool isRunning() const { return m_process.isRunning(); }
    qint64 processId() const { return m_process.processId(); }
    QString errorText() const { return m_process.errorText(); }
    // What the service wrote to stderr so far.
    QString output();

    // One exchange as the window makes it (throws ServiceLinkError).
    QList<QByteArray> request(const char* command) const;
    void save(const QList<QByteArray>& saveList) const;
    // The value of one GetKeyedStatus line ("public-ipv6", ...); empty when absent.
    QByteArray keyedStatus(const QByteArray& key) const;

    QList<QByteArray> historyLines() const;

private:
    QTemporaryDir m_folder;
    quint16 m_port;
    bool m_defaultLogFile = false;
    QProcessEnvironment m_environment;
    testservers::ServerProcess m_process;
    QString m_output;
};
