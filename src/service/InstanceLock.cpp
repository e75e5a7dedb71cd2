#include "service/InstanceLock.h"

#include "service/base/ServiceError.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool processIsAlive(qint64 pid)
{
    // EPERM: it lives, as another user's process.
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A lock file must be a plain file of its own: written through a link, it would
// overwrite whatever the link points at.
void refuseOddLockFile(const QString& path)
{
    struct stat info
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return; // absent: it will be made
    if (S_ISLNK(info.st_mode))
        throw SetupError(QStringLiteral("the lock file %1 is a symbolic link; remove it and start "
                                        "again")
                             .arg(path)
                             .toStdString());
    if (!S_ISREG(info.st_mode))
        throw SetupError(QStringLiteral("the lock file %1 is not a file; remove it and start again")
                             .arg(path)
                             .toStdString());
}

} // namespace

InstanceLock::InstanceLock(const QString& path) : m_lock(path)
{
    // Only a dead owner makes the lock stale, never its age: the service runs
    // for a whole session.
    m_lock.setStaleLockTime(0);
}

void InstanceLock::acquire()
{
    const QString path = m_lock.fileName();
    refuseOddLockFile(path);
    if (m_lock.tryLock(0))
        return;
    const QString folder = QFileInfo(path).absolutePath();
    if (m_lock.error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString application;
        m_lock.getLockInfo(&pid, &host, &application);
        if (processIsAlive(pid))
            throw AlreadyRunningError(QStringLiteral("already running for this user (process %1)")
                                          .arg(pid)
                                          .toStdString());
        // A lock whose process has ended is taken over, unless it cannot be removed.
        const int error = ::access(QFile::encodeName(folder).constData(), W_OK) == 0 ? 0 : errno;
        throw SetupError(
            QStringLiteral("the lock file %1 was left by process %2, which has ended, "
                           "and cannot be removed: %3")
                .arg(path)
                .arg(pid)
                .arg(error ? systemError(error) : QStringLiteral("it cannot be read or replaced"))
                .toStdString());
    }
    const int error = ::access(QFile::encodeName(folder).constData(), W_OK) == 0 ? 0 : errno;
    throw SetupError(QStringLiteral("cannot create the lock file %1: %2")
                         .arg(path, error ? QStringLiteral("%1: %2").arg(folder, systemError(error))
                                          : QStringLiteral("unknown error"))
                         .toStdString());
}

std::optional<qint64> InstanceLock::holder(const QString& path)
{
    QLockFile probe(path);
    probe.setStaleLockTime(0);
    if (probe.tryLock(0)) {
        probe.unlock();
        return std::nullopt;
    }
    if (probe.error() != QLockFile::LockFailedError)
        return std::nullopt;
    qint64 pid = 0;
    QString host;
    QString application;
    if (!probe.getLockInfo(&pid, &host, &application))
        return 0; // the holder is still writing its number
    // A stale lock that cannot be removed (a read-only folder) names a process
    // that has ended: nobody holds it.
    if (!processIsAlive(pid))
        return std::nullopt;
    return pid;
}
