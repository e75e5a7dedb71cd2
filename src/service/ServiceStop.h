#pragma once

#include <QString>
#include <chrono>

struct StopResult
{
    enum Outcome
    {
        Stopped,    // it ran and has ended
        NotRunning, // no process held the lock
        NotStopped  // it could not be asked, or was still there when the wait ran out
    };
    Outcome outcome = NotRunning;
    qint64 processId = 0;
    QString reason; // why it has not stopped
};

// Ends the service that holds the lock at lockFile: asks it with SIGTERM, as the
// end of the session does, so that it finishes the way it always does, and waits
// up to `wait` until its process has ended.
StopResult stopRunningService(const QString& lockFile, std::chrono::milliseconds wait);
