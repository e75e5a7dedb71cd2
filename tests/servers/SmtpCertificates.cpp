#include "servers/SmtpCertificates.h"
#include "support/TestTime.h"

#include <QFile>
#include <QProcess>

namespace testservers {

namespace {

const QStringList kKeyOptions{
    QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

} // namespace

bool SmtpCertificates::openssl(const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(testtime::scaled(30000)) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2 %3")
                      .arg(arguments.join(u' '), process.errorString(),
                           QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool SmtpCertificates::makeCa(const QString& name, const QString& commonName)
{
    return openssl(
        QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + kKeyOptions +
        QStringList{QStringLiteral("-keyout"), name + QStringLiteral(".key"),
                    QStringLiteral("-out"), name + QStringLiteral(".pem"), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=") + commonName, QStringLiteral("-addext"),
                    QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                    QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
}

bool SmtpCertificates::makeServer(const QString& name, const QString& caName)
{
    QFile extensions(path(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly) ||
        extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                         "basicConstraints=CA:FALSE\n"
                         "keyUsage=critical,digitalSignature\n"
                         "extendedKeyUsage=serverAuth\n") < 0) {
        m_error = QStringLiteral("cannot write %1").arg(extensions.fileName());
        return false;
    }
    extensions.close();
    return openssl(QStringList{QStringLiteral("req")} + kKeyOptions +
                   QStringList{QStringLiteral("-keyout"), name + QStringLiteral(".key"),
                               QStringLiteral("-out"), name + QStringLiteral(".csr"),
                               QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")}) &&
           openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    name + QStringLiteral(".csr"), QStringLiteral("-CA"),
                    caName + QStringLiteral(".pem"), QStringLiteral("-CAkey"),
                    caName + QStringLiteral(".key"), QStringLiteral("-CAcreateserial"),
                    QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
                    QStringLiteral("server.ext"), QStringLiteral("-out"),
                    name + QStringLiteral(".pem")});
}

bool SmtpCertificates::generate()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
        return false;
    }
    return makeCa(QStringLiteral("ca"), QStringLiteral("Velmora Test CA")) &&
           makeServer(QStringLiteral("server"), QStringLiteral("ca")) &&
           makeCa(QStringLiteral("other-ca"), QStringLiteral("Untrusted Test CA")) &&
           makeServer(QStringLiteral("untrusted"), QStringLiteral("other-ca"));
}

} // namespace testservers
