#pragma once

#include "servers/FtpTestServer.h"
#include "servers/ServerProcess.h"

#include <QTemporaryDir>

namespace testservers {

// pyftpdlib (ftp_server.py) as an unprivileged process with virtual users and
// a temporary login folder. Besides the writing account it has a read-only
// one, so a refused upload is the server's own refusal.
class FtpPythonServer : public FtpTestServer
{
public:
    struct Options
    {
        // "normal", "no-data-connection" or "abort-after:<bytes>" (see ftp_server.py).
        QString behaviour = QStringLiteral("normal");
        // "\n" in the banner makes a multi-line greeting.
        QString banner;
    };

    FtpPythonServer();
    explicit FtpPythonServer(Options options);

    bool start();

    QString name() const override { return QStringLiteral("pyftpdlib"); }
    quint16 port() const override { return m_port; }
    QString userName() const override { return QStringLiteral("velmora"); }
    QString password() const override { return QStringLiteral("page-upload-secret"); }
    QString homePath() const override { return m_home.path(); }
    QString errorText() const override { return m_error; }

    QString readOnlyUserName() const { return QStringLiteral("reader"); }
    QString readOnlyPassword() const { return QStringLiteral("reader-secret"); }

    // Every command the server has received so far, as sent ("PASS ******"
    // stands for a password).
    QStringList receivedCommands() const;

private:
    Options m_options;
    QTemporaryDir m_home;
    QTemporaryDir m_logFolder;
    quint16 m_port = 0;
    ServerProcess m_process;
    QString m_error;
};

} // namespace testservers
