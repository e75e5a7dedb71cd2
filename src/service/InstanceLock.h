#pragma once

#include <QLockFile>
#include <QString>
#include <optional>

// One service per user: a lock file (in the runtime folder), held while the
// service runs. A lock left by a crashed service is recognised by its dead
// process and taken over.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& path);

    // Throws AlreadyRunningError (naming the running process), or SetupError
    // when the lock file cannot be made or is odd (a link, a stale lock that
    // cannot be removed).
    void acquire();

    // The process that holds the lock at `path` right now (0 while the holder
    // is still writing its number); nothing when no live process holds it.
    static std::optional<qint64> holder(const QString& path);

private:
    QLockFile m_lock;
};
