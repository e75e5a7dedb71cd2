#pragma once

#include "servers/FtpPythonServer.h"
#include "servers/FtpVsftpdServer.h"

#include <memory>

namespace testservers {

// The FTP servers the upload tests run against: pyftpdlib always, and vsftpd
// where it can run here. A test row names its server; a row whose server cannot
// run skips with vsftpdSkipReason().
class FtpServerPair
{
public:
    explicit FtpServerPair(FtpPythonServer::Options pythonOptions = {});

    // Starts those that can run here; false when one of them fails (errorText()).
    bool start();
    QString errorText() const { return m_error; }

    FtpPythonServer& python() { return m_python; }
    // The server of that name; nullptr for vsftpd where it cannot run.
    FtpTestServer* byName(const QString& name);
    QString vsftpdSkipReason() const { return m_vsftpdSkipReason; }
    // Removes the file from the login folder of each running server.
    void removeFromEach(const QString& fileName);

private:
    FtpPythonServer m_python;
    std::unique_ptr<FtpVsftpdServer> m_vsftpd;
    QString m_vsftpdSkipReason;
    QString m_error;
};

} // namespace testservers
