#include "service/ServiceStop.h"

#include "service/InstanceLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>

namespace {

// Whether the process has ended. One that has ended stays a zombie until the
// program that started it collects it: that counts as ended too.
bool hasEnded(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    // "pid (name) state ...": the name may hold anything, the state follows its last ')'.
    const QByteArray line = stat.readAll();
    const qsizetype nameEnd = line.lastIndexOf(')');
    const char state = nameEnd >= 0 && nameEnd + 2 < line.size() ? line[nameEnd + 2] : '?';
    return state == 'Z' || state == 'X';
}

} // namespace

StopResult stopRunningService(const QString& lockFile, std::chrono::milliseconds wait)
{
    const std::optional<qint64> holder = InstanceLock::holder(lockFile);
    if (!holder)
        return {StopResult::NotRunning, 0, {}};
    const qint64 pid = *holder;
    if (pid <= 0)
        return {StopResult::NotStopped, pid, QStringLiteral("it is still starting")};
    if (::kill(pid_t(pid), SIGTERM) != 0) {
        if (errno == ESRCH)
            return {StopResult::Stopped, pid, {}};
        return {StopResult::NotStopped, pid, QString::fromLocal8Bit(std::strerror(errno))};
    }
    const QDeadlineTimer deadline(wait);
    while (!hasEnded(pid)) {
        if (deadline.hasExpired())
            return {StopResult::NotStopped, pid,
                    QStringLiteral("still running after %1 s").arg(double(wait.count()) / 1000.0)};
        QThread::msleep(20);
    }
    return {StopResult::Stopped, pid, {}};
}
