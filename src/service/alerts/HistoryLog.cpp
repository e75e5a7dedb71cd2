#include "service/alerts/HistoryLog.h"

#include "common/PrivateFile.h"
#include "service/base/ServiceError.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The window holds the lock only to empty and delete the file; a lock held
// longer is someone else's, and the service does not wait for it for good.
constexpr int LockWaitMs = 250;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool lockWithin(int descriptor, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    for (;;) {
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        QThread::usleep(1000);
    }
}

// Whether the open file is still the one at path, not deleted or replaced.
bool isStillAt(int descriptor, const QByteArray& path)
{
    struct stat opened = {};
    struct stat current = {};
    return ::fstat(descriptor, &opened) == 0 && ::stat(path.constData(), &current) == 0 &&
           opened.st_dev == current.st_dev && opened.st_ino == current.st_ino;
}

bool writeAll(int descriptor, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        written += n;
    }
    return true;
}

} // namespace

HistoryLog::HistoryLog(QString path) : m_path(std::move(path)) {}

QByteArray HistoryLog::formatLine(const QDateTime& when, const Addresses& addresses)
{
    // A date without commas keeps the line's fields apart. Without IPv6 the
    // line keeps the three fields that every reader knows.
    QByteArray line = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + ',' +
                      addresses.publicIp.toLatin1() + ',' + addresses.localIp.toLatin1();
    if (addresses.hasIpv6())
        line += ',' + addresses.publicIpv6.toLatin1() + ',' + addresses.localIpv6.toLatin1();
    return line + "\r\n";
}

void HistoryLog::append(const QDateTime& when, const Addresses& addresses)
{
    appendLines(formatLine(when, addresses));
}

void HistoryLog::appendLines(const QByteArray& lines)
{
    const QByteArray name = QFile::encodeName(m_path);
    auto fail = [this](const QString& what) {
        throw ServiceError(QStringLiteral("cannot write to the history log %1: %2")
                               .arg(m_path, what)
                               .toStdString());
    };
    // The window may delete the file while we wait for the lock: then once more
    // with a new file (and a few times at most).
    for (int attempt = 0; attempt < 5; ++attempt) {
        QString refusal;
        const int descriptor = privatefile::openForAppend(m_path, &refusal);
        if (descriptor < 0)
            fail(refusal);
        if (!lockWithin(descriptor, LockWaitMs)) {
            ::close(descriptor);
            fail(QStringLiteral("another program keeps it locked"));
        }
        if (!isStillAt(descriptor, name)) {
            ::close(descriptor);
            continue;
        }
        // One write: a reader sees a whole line from us or none of it. A disk
        // that fills up midway takes part of it: the part goes again, or the
        // next line would be glued to it.
        struct stat before = {};
        const bool sized = ::fstat(descriptor, &before) == 0;
        const bool written = writeAll(descriptor, lines);
        QString reason = systemError(errno);
        if (!written && (!sized || ::ftruncate(descriptor, before.st_size) != 0))
            reason += QStringLiteral(" (and part of a line stays in it)");
        ::close(descriptor); // gives up the lock
        if (!written)
            fail(reason);
        return;
    }
    fail(QStringLiteral("it is deleted again and again"));
}
