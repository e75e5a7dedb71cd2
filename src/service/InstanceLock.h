#pragma once

#include <QLockFile>
#include <QString>

// One service per user (per config folder): a lock file in the config folder,
// held while the service runs. A lock left by a crashed service is recognised
// by its dead process and taken over.
class InstanceLock
{
public:
    explicit InstanceLock(const QString& configDir);

    // Throws AlreadyRunningError (naming the running process) or ServiceError.
    void acquire();

    // True when a service holds the lock for this config folder right now.
    static bool isHeld(const QString& configDir);

private:
    static QString lockPath(const QString& configDir);

    QLockFile m_lock;
};
