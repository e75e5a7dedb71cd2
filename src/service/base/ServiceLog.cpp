#include "service/base/ServiceLog.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// JOURNAL_STREAM is "<device>:<inode>" of the stream systemd connected; it only
// counts while stderr is still that stream (not redirected by a child's parent).
bool stderrIsJournal()
{
    static const bool journal = [] {
        const QByteArray stream = qgetenv("JOURNAL_STREAM");
        const qsizetype colon = stream.indexOf(':');
        if (colon <= 0)
            return false;
        struct stat st = {};
        if (::fstat(STDERR_FILENO, &st) != 0)
            return false;
        bool deviceOk = false;
        bool inodeOk = false;
        const qulonglong device = stream.left(colon).toULongLong(&deviceOk);
        const qulonglong inode = stream.mid(colon + 1).toULongLong(&inodeOk);
        return deviceOk && inodeOk && device == qulonglong(st.st_dev) &&
               inode == qulonglong(st.st_ino);
    }();
    return journal;
}

} // namespace

QByteArray formatLogLine(LogLevel level, const QString& text, bool toJournal)
{
    QByteArray line = toJournal ? '<' + QByteArray::number(int(level)) + '>'
                                : QByteArrayLiteral("velmora-service: ");
    QByteArray body = text.toLocal8Bit();
    body.replace('\n', ' ');
    line += body;
    line += '\n';
    return line;
}

void logLine(LogLevel level, const QString& text)
{
    const QByteArray line = formatLogLine(level, text, stderrIsJournal());
    // One write per line keeps lines from different moments apart.
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n =
            ::write(STDERR_FILENO, line.constData() + written, size_t(line.size() - written));
        if (n <= 0)
            return;
        written += n;
    }
}

void logLine(const QString& text)
{
    logLine(LogLevel::Info, text);
}
