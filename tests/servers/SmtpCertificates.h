#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testservers {

// Certificates made with openssl for one test run, in a temporary folder that
// goes with the object: a test CA, a server certificate it signed for 127.0.0.1
// and localhost, and a second server certificate for the same names signed by
// another CA that nobody trusts.
class SmtpCertificates
{
public:
    // Returns false (with errorText() set) when openssl fails.
    bool generate();
    QString errorText() const { return m_error; }

    QString caFile() const { return path(QStringLiteral("ca.pem")); }
    QString serverCertificate() const { return path(QStringLiteral("server.pem")); }
    QString serverKey() const { return path(QStringLiteral("server.key")); }
    QString untrustedCertificate() const { return path(QStringLiteral("untrusted.pem")); }
    QString untrustedKey() const { return path(QStringLiteral("untrusted.key")); }

private:
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool openssl(const QStringList& arguments);
    bool makeCa(const QString& name, const QString& commonName);
    bool makeServer(const QString& name, const QString& caName);

    QTemporaryDir m_dir;
    QString m_error;
};

} // namespace testservers
