#include "main_form/LogFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

QStringList SplitLogLines(const QByteArray& bytes)
{
    const qsizetype nul = bytes.indexOf('\0');
    const QByteArrayView text = nul < 0 ? QByteArrayView(bytes) : QByteArrayView(bytes).first(nul);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(QString::fromLocal8Bit(text.sliced(start, i - start)));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(QString::fromLocal8Bit(text.sliced(start)));
    return lines;
}

std::optional<QStringList> ReadLog(const QString& path)
{
    // A folder, a pipe or a device of that name is not the log.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return SplitLogLines(bytes);
}

namespace {

// Whether the open file is still the one at path, not one that replaced it.
bool isStillAt(int fd, const QByteArray& path)
{
    struct stat opened = {};
    struct stat current = {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.constData(), &current) == 0 &&
           opened.st_dev == current.st_dev && opened.st_ino == current.st_ino;
}

} // namespace

void EraseLogFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    // Not through a symbolic link: only the log itself is emptied.
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    // While the service holds the lock it is writing: the file is left as it is.
    // The file is deleted before the lock is given up; a writer that was waiting
    // for the lock finds its file unlinked and starts a new one.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && isStillAt(fd, name) && ::ftruncate(fd, 0) == 0)
        ::unlink(name.constData());
    ::close(fd);
}
