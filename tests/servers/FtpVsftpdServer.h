#pragma once

#include "servers/FtpTestServer.h"
#include "servers/ServerProcess.h"

#include <QTemporaryDir>

namespace testservers {

// A private vsftpd instance: its own configuration in a temporary folder,
// listening on 127.0.0.1 only, in the foreground. It logs in real system users
// through PAM, so it makes one for the run (shell /bin/sh, random password,
// home in the temporary folder) and removes it again. Needs root.
class FtpVsftpdServer : public FtpTestServer
{
public:
    FtpVsftpdServer() = default;
    ~FtpVsftpdServer() override;

    // Empty when this process may run the server, else why not.
    static QString unavailableReason();

    bool start();

    QString name() const override { return QStringLiteral("vsftpd"); }
    quint16 port() const override { return m_port; }
    QString userName() const override { return m_user; }
    QString password() const override { return m_password; }
    QString homePath() const override;
    QString errorText() const override { return m_error; }

private:
    bool createUser();
    void removeUser();
    bool writeConfiguration(const QString& fileName);

    QTemporaryDir m_folder;
    quint16 m_port = 0;
    QString m_user;
    QString m_password;
    bool m_userCreated = false;
    ServerProcess m_process;
    QString m_error;
};

} // namespace testservers
