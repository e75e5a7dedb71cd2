#include "net/ReplaceInFile.h"

#include "net/CaseInsensitiveReplace.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace {

QString fullPath(const QString& fileName)
{
    return QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

QString systemErrorText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

[[noreturn]] void throwFileError(const char* format, const QString& fileName, const QString& reason)
{
    throw std::runtime_error(
        QString::fromLatin1(format).arg(fullPath(fileName), reason).toStdString());
}

[[noreturn]] void throwCannotOpen(const QString& fileName, int error)
{
    throwFileError("Cannot open file \"%1\". %2", fileName, systemErrorText(error));
}

[[noreturn]] void throwCannotCreate(const QString& fileName, const QString& reason)
{
    throwFileError("Cannot create file \"%1\". %2", fileName, reason);
}

QByteArray readWholeFile(const QString& fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throwCannotOpen(fileName, errno);
    QByteArray content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            content.append(buffer, n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            throwCannotOpen(fileName, error);
        }
    }
    ::close(fd);
    return content;
}

// The new content goes to a temporary file that replaces the old one only once
// it is written whole, so a full disk cannot leave half a page. A file that
// may not be written (read-only, busy) is refused up front, as opening it for
// writing would be: replacing it by renaming would otherwise get past that.
void writeWholeFile(const QString& fileName, const QByteArray& content)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    else if (errno != ENOENT)
        throwCannotCreate(fileName, systemErrorText(errno));

    QSaveFile file(fileName);
    // A folder the user may not write to still lets a writable file be
    // rewritten in place, as before.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        throwCannotCreate(fileName, file.errorString());
    if (file.write(content) != content.size() || !file.commit())
        throwCannotCreate(fileName, file.errorString());
}

} // namespace

void ReplaceInFile(const QString& fileName, const QString& searchText, const QString& replacement)
{
    const QByteArray content = readWholeFile(fileName);
    writeWholeFile(fileName, replaceCaseInsensitive(content, searchText.toLocal8Bit(),
                                                    replacement.toLocal8Bit()));
}

void fillTemplateCopy(const QString& templateFileName, const QString& targetFileName,
                      const QList<QPair<QString, QString>>& replacements)
{
    QByteArray content = readWholeFile(templateFileName);
    for (const auto& [searchText, replacement] : replacements)
        content =
            replaceCaseInsensitive(content, searchText.toLocal8Bit(), replacement.toLocal8Bit());
    writeWholeFile(targetFileName, content);
}
