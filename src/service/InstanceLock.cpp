#include "service/InstanceLock.h"

#include "service/ServiceError.h"

InstanceLock::InstanceLock(const QString& path) : m_lock(path)
{
    // Only a dead owner makes the lock stale, never its age: the service runs
    // for a whole session.
    m_lock.setStaleLockTime(0);
}

void InstanceLock::acquire()
{
    if (m_lock.tryLock(0))
        return;
    if (m_lock.error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString application;
        m_lock.getLockInfo(&pid, &host, &application);
        throw AlreadyRunningError(
            QStringLiteral("already running for this user (process %1)").arg(pid).toStdString());
    }
    throw ServiceError(
        QStringLiteral("cannot create the lock file %1").arg(m_lock.fileName()).toStdString());
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
    return probe.getLockInfo(&pid, &host, &application) ? pid : 0;
}
