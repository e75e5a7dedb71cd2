#include "servers/FtpVsftpdServer.h"

#include "servers/FreePort.h"
#include "support/TestTime.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace testservers {

namespace {

const QString VsftpdProgram = QStringLiteral("/usr/sbin/vsftpd");
// Users made by a run are this prefix and the run's process id.
const QString UserPrefix = QStringLiteral("velmoraftp");

bool run(const QString& program, const QStringList& arguments, QString* error,
         const QByteArray& input = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(testtime::scaled(5000))) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, process.errorString());
        return false;
    }
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!process.waitForFinished(testtime::scaled(15000))) {
        process.kill();
        process.waitForFinished(testtime::scaled(3000));
        *error = QStringLiteral("%1 did not finish").arg(program);
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("%1 %2 failed: %3")
                     .arg(program, arguments.join(QLatin1Char(' ')),
                          QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

// Users left by an earlier run that was killed before it could clean up.
void removeStaleUsers()
{
    QStringList stale;
    setpwent();
    while (const passwd* entry = getpwent()) {
        const QString name = QString::fromLocal8Bit(entry->pw_name);
        if (!name.startsWith(UserPrefix))
            continue;
        bool isNumber = false;
        const pid_t pid = pid_t(name.mid(UserPrefix.size()).toInt(&isNumber));
        if (isNumber && pid > 0 && kill(pid, 0) != 0 && errno == ESRCH)
            stale << name;
    }
    endpwent();
    QString ignored;
    for (const QString& name : std::as_const(stale))
        run(QStringLiteral("/usr/sbin/userdel"), {name}, &ignored);
}

} // namespace

FtpVsftpdServer::~FtpVsftpdServer()
{
    m_process.stop();
    removeUser();
}

QString FtpVsftpdServer::unavailableReason()
{
    if (geteuid() != 0)
        return QStringLiteral("vsftpd logs in system users, and making one needs root");
    if (!QFile::exists(VsftpdProgram))
        return QStringLiteral("vsftpd is not installed (scripts/install-deps.sh test)");
    return {};
}

QString FtpVsftpdServer::homePath() const
{
    return m_folder.filePath(QStringLiteral("home"));
}

bool FtpVsftpdServer::start()
{
    m_error = unavailableReason();
    if (!m_error.isEmpty())
        return false;
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder: %1").arg(m_folder.errorString());
        return false;
    }
    // The user reaches its home through this folder; vsftpd needs an empty,
    // root-owned folder of its own to lock its helper process into.
    QFile::setPermissions(m_folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadGroup | QFile::ExeGroup |
                                               QFile::ReadOther | QFile::ExeOther);
    QDir folder(m_folder.path());
    if (!folder.mkdir(QStringLiteral("home")) || !folder.mkdir(QStringLiteral("empty"))) {
        m_error = QStringLiteral("cannot make the server's folders in %1").arg(m_folder.path());
        return false;
    }
    if (!createUser())
        return false;

    m_port = freePort();
    const QString configuration = m_folder.filePath(QStringLiteral("vsftpd.conf"));
    if (!writeConfiguration(configuration))
        return false;
    if (m_process.start(VsftpdProgram, {configuration}, m_port))
        return true;
    m_error = m_process.errorText();
    return false;
}

bool FtpVsftpdServer::createUser()
{
    removeStaleUsers();
    m_user = UserPrefix + QString::number(getpid());
    m_password =
        QString::number(QRandomGenerator::system()->generate64(), 36) + QStringLiteral("-Ftp");
    // A system account: no subordinate id ranges, no mail spool, no home made.
    if (!run(QStringLiteral("/usr/sbin/useradd"),
             {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
              QStringLiteral("--home-dir"), homePath(), QStringLiteral("--shell"),
              QStringLiteral("/bin/sh"), m_user},
             &m_error))
        return false;
    m_userCreated = true;
    return run(QStringLiteral("/usr/sbin/chpasswd"), {}, &m_error,
               (m_user + QLatin1Char(':') + m_password + QLatin1Char('\n')).toLocal8Bit()) &&
           run(QStringLiteral("/bin/chown"), {m_user, homePath()}, &m_error);
}

void FtpVsftpdServer::removeUser()
{
    if (!m_userCreated)
        return;
    QString ignored;
    run(QStringLiteral("/usr/sbin/userdel"), {m_user}, &ignored);
    m_userCreated = false;
}

bool FtpVsftpdServer::writeConfiguration(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString());
        return false;
    }
    // No sandboxing by namespaces or seccomp: containers often forbid them.
    const QString text = QStringLiteral("listen=YES\n"
                                        "listen_ipv6=NO\n"
                                        "listen_address=127.0.0.1\n"
                                        "listen_port=%1\n"
                                        "background=NO\n"
                                        "anonymous_enable=NO\n"
                                        "local_enable=YES\n"
                                        "write_enable=YES\n"
                                        "local_umask=022\n"
                                        "pam_service_name=vsftpd\n"
                                        "secure_chroot_dir=%2\n"
                                        "connect_from_port_20=NO\n"
                                        "seccomp_sandbox=NO\n"
                                        "isolate=NO\n"
                                        "isolate_network=NO\n"
                                        "xferlog_enable=NO\n"
                                        "dirmessage_enable=NO\n")
                             .arg(m_port)
                             .arg(m_folder.filePath(QStringLiteral("empty")));
    file.write(text.toLocal8Bit());
    file.close();
    if (file.error() == QFileDevice::NoError)
        return true;
    m_error = QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString());
    return false;
}

} // namespace testservers
