#include "servers/PostfixInstance.h"

#include "servers/FreePort.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using testfiles::readFile;
using testfiles::writeFile;

namespace testservers {

namespace {

const QString kDaemonDirectory = QStringLiteral("/usr/lib/postfix/sbin");

// "user@domain" -> "domain/user/": the Maildir below the mail folder.
QString maildirOf(const QString& address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    return address.mid(at + 1) + u'/' + address.left(at) + u'/';
}

} // namespace

QString PostfixInstance::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("a private Postfix instance needs root");
    if (!QFile::exists(kDaemonDirectory + QStringLiteral("/master")))
        return QStringLiteral("Postfix is not installed");
    return {};
}

bool PostfixInstance::writeConfiguration(const QString& certificate, const QString& key)
{
    const passwd* nobody = getpwnam("nobody");
    const group* nogroup = getgrnam("nogroup");
    if (!nobody || !nogroup) {
        m_error = QStringLiteral("no user nobody / group nogroup for the mailboxes");
        return false;
    }
    QStringList domains;
    QByteArray mailboxes;
    for (const QString& address : m_mailboxes) {
        const QString domain = address.mid(address.lastIndexOf(u'@') + 1);
        if (!domains.contains(domain))
            domains.append(domain);
        mailboxes += (address + u' ' + maildirOf(address) + u'\n').toUtf8();
    }
    const QByteArray root = m_dir.path().toUtf8();
    QByteArray mainCf = readFile(ServerProcess::script(QStringLiteral("postfix_main.cf.in")));
    mainCf.replace("@ROOT@", root)
        .replace("@DOMAINS@", domains.join(u' ').toUtf8())
        .replace("@UID@", QByteArray::number(nobody->pw_uid))
        .replace("@GID@", QByteArray::number(nogroup->gr_gid));
    QByteArray masterCf = readFile(ServerProcess::script(QStringLiteral("postfix_master.cf.in")));
    masterCf.replace("@PORT@", QByteArray::number(m_port))
        .replace("@TLSPORT@", QByteArray::number(m_tlsPort));

    // Postfix's daemons drop to their own users and must reach their folders.
    const QDir dir(m_dir.path());
    const bool written =
        chmod(root.constData(), 0755) == 0 && dir.mkpath(QStringLiteral("etc")) &&
        dir.mkpath(QStringLiteral("queue")) && dir.mkpath(QStringLiteral("mail")) &&
        chown(path(QStringLiteral("mail")).toUtf8().constData(), nobody->pw_uid, nogroup->gr_gid) ==
            0 &&
        writeFile(path(QStringLiteral("etc/main.cf")), mainCf) &&
        writeFile(path(QStringLiteral("etc/master.cf")), masterCf) &&
        writeFile(path(QStringLiteral("etc/mailboxes")), mailboxes) &&
        QFile::copy(certificate, path(QStringLiteral("etc/server.pem"))) &&
        QFile::copy(key, path(QStringLiteral("etc/server.key")));
    if (!written)
        m_error = QStringLiteral("cannot set up the Postfix folder %1").arg(m_dir.path());
    return written;
}

bool PostfixInstance::start(const QString& certificate, const QString& key)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
        return false;
    }
    m_port = freePort();
    do
        m_tlsPort = freePort();
    while (m_tlsPort == m_port);
    if (!writeConfiguration(certificate, key))
        return false;

    const QString configDirectory = path(QStringLiteral("etc"));
    // "check" creates the queue folders with the owners Postfix wants.
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(QStringLiteral("/usr/sbin/postfix"),
                {QStringLiteral("-c"), configDirectory, QStringLiteral("check")});
    if (!check.waitForFinished(testtime::scaled(30000)) || check.exitCode() != 0) {
        m_error = QStringLiteral("postfix check failed: %1 %2")
                      .arg(QString::fromLocal8Bit(check.readAll()), log());
        return false;
    }
    // setsid makes the master its own process group, so that stopping it
    // stops every daemon it started.
    if (!m_master.start(QStringLiteral("setsid"),
                        {kDaemonDirectory + QStringLiteral("/master"), QStringLiteral("-d"),
                         QStringLiteral("-c"), configDirectory},
                        m_port, testtime::scaled(20000))) {
        m_error = m_master.errorText() + u' ' + log();
        return false;
    }
    return true;
}

QList<QByteArray> PostfixInstance::delivered(const QString& address) const
{
    QList<QByteArray> messages;
    const QDir maildir(path(QStringLiteral("mail/") + maildirOf(address) + QStringLiteral("new")));
    for (const QString& name : maildir.entryList(QDir::Files, QDir::Name))
        messages.append(readFile(maildir.filePath(name)));
    return messages;
}

QString PostfixInstance::log() const
{
    return QString::fromUtf8(readFile(path(QStringLiteral("maillog"))));
}

} // namespace testservers
