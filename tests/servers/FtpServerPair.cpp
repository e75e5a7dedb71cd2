#include "servers/FtpServerPair.h"

#include <QDir>
#include <QFile>

namespace testservers {

FtpServerPair::FtpServerPair(FtpPythonServer::Options pythonOptions)
    : m_python(std::move(pythonOptions))
{
}

bool FtpServerPair::start()
{
    if (!m_python.start()) {
        m_error = m_python.errorText();
        return false;
    }
    m_vsftpdSkipReason = FtpVsftpdServer::unavailableReason();
    if (m_vsftpdSkipReason.isEmpty()) {
        m_vsftpd = std::make_unique<FtpVsftpdServer>();
        if (!m_vsftpd->start()) {
            m_error = m_vsftpd->errorText();
            return false;
        }
    }
    return true;
}

FtpTestServer* FtpServerPair::byName(const QString& name)
{
    if (name == m_python.name())
        return &m_python;
    return m_vsftpd.get();
}

void FtpServerPair::removeFromEach(const QString& fileName)
{
    for (const FtpTestServer* server : {static_cast<const FtpTestServer*>(&m_python),
                                        static_cast<const FtpTestServer*>(m_vsftpd.get())}) {
        if (server)
            QFile::remove(QDir(server->homePath()).filePath(fileName));
    }
}

} // namespace testservers
