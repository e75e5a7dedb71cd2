#include "common/PrivateFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace privatefile {

namespace {

constexpr mode_t OwnerOnly = S_IRUSR | S_IWUSR;

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString kindOf(mode_t mode)
{
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return S_ISREG(mode) ? QString() : QStringLiteral("not a regular file");
}

QString notAFile(const QString& kind)
{
    return QStringLiteral("it is %1, not a file").arg(kind);
}

// Why opening failed, in words: what is there when that is the cause.
QString openError(const QString& path, int error)
{
    const QString kind = kindOfNonFile(path);
    return kind.isEmpty() ? systemError(error) : notAFile(kind);
}

bool writeAll(int descriptor, const char* bytes, qsizetype size, int* error)
{
    qsizetype written = 0;
    while (written < size) {
        const ssize_t n = ::write(descriptor, bytes + written, size_t(size - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;
            return false;
        }
        written += n;
    }
    return true;
}

// Gives the new file its mode and every byte, and closes it: 0, or the error
// of the first step that failed.
int fillAndClose(int descriptor, const QByteArray& contents)
{
    int error = 0;
    if (::fchmod(descriptor, OwnerOnly) != 0)
        error = errno;
    if (error == 0)
        writeAll(descriptor, contents.constData(), contents.size(), &error);
    // Some file systems report a full disk only when the data reaches it.
    if (error == 0 && ::fsync(descriptor) != 0)
        error = errno;
    if (::close(descriptor) != 0 && error == 0)
        error = errno;
    return error;
}

void syncFolder(const QByteArray& folder)
{
    // So that the rename itself survives a power cut; a folder that cannot be
    // synced (some file systems) costs only that.
    const int descriptor = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    ::fsync(descriptor);
    ::close(descriptor);
}

} // namespace

QString kindOfNonFile(const QString& path, Links links)
{
    struct stat info = {};
    const QByteArray name = QFile::encodeName(path);
    if ((links == Links::Followed ? ::stat(name.constData(), &info)
                                  : ::lstat(name.constData(), &info)) != 0)
        return {};
    return kindOf(info.st_mode);
}

ReadResult read(const QString& path, qint64 maxSize, Links links)
{
    ReadResult result;
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int noFollow = links == Links::NotFollowed ? O_NOFOLLOW : 0;
    const int descriptor = ::open(QFile::encodeName(path).constData(),
                                  O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | noFollow);
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOENT)
            return result;
        const QString kind = error == ELOOP ? kindOfNonFile(path) : QString();
        result.status = kind.isEmpty() ? ReadResult::Status::Failed : ReadResult::Status::NotAFile;
        result.reason = kind.isEmpty() ? systemError(error) : notAFile(kind);
        return result;
    }
    struct stat info = {};
    if (::fstat(descriptor, &info) != 0) {
        result.status = ReadResult::Status::Failed;
        result.reason = systemError(errno);
    } else if (!S_ISREG(info.st_mode)) {
        result.status = ReadResult::Status::NotAFile;
        result.reason = notAFile(kindOf(info.st_mode));
    } else if (info.st_size > maxSize) {
        result.status = ReadResult::Status::TooLarge;
        result.reason =
            QStringLiteral("it is larger than %1 bytes (%2 bytes)").arg(maxSize).arg(info.st_size);
    } else {
        result.status = ReadResult::Status::Read;
        // One byte more than allowed tells a file that grew meanwhile.
        QByteArray contents(qsizetype(maxSize) + 1, Qt::Uninitialized);
        qsizetype total = 0;
        while (total < contents.size()) {
            const ssize_t n =
                ::read(descriptor, contents.data() + total, size_t(contents.size() - total));
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n < 0) {
                result.status = ReadResult::Status::Failed;
                result.reason = systemError(errno);
                break;
            }
            if (n == 0)
                break;
            total += n;
        }
        if (result.isRead() && total > maxSize) {
            result.status = ReadResult::Status::TooLarge;
            result.reason = QStringLiteral("it is larger than %1 bytes").arg(maxSize);
        }
        if (result.isRead()) {
            contents.truncate(total);
            result.contents = contents;
        }
    }
    ::close(descriptor);
    return result;
}

QString write(const QString& path, const QByteArray& contents,
              const std::function<bool()>& mayReplace, bool* declined)
{
    const QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    // mkostemp creates the file exclusively (a link in its place fails) with mode 0600.
    QByteArray temporary = folder + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX";
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0)
        return systemError(errno);
    int error = fillAndClose(descriptor, contents);
    if (error == 0 && mayReplace && !mayReplace()) {
        ::unlink(temporary.constData());
        if (declined)
            *declined = true;
        return {};
    }
    if (error == 0 && ::rename(temporary.constData(), target.constData()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.constData());
        return error == EISDIR ? notAFile(QStringLiteral("a folder")) : systemError(error);
    }
    syncFolder(folder);
    return {};
}

QStringList removeLeftovers(const QString& path)
{
    const QFileInfo info(path);
    const QString prefix = QLatin1Char('.') + info.fileName() + QLatin1Char('.');
    QStringList removed;
    const QDir folder(info.absolutePath());
    const QStringList names = folder.entryList({prefix + QStringLiteral("??????")},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        // mkostemp's six letters and digits.
        const QStringView suffix = QStringView(name).mid(prefix.size());
        if (!std::all_of(suffix.begin(), suffix.end(), [](QChar c) {
                return c.isDigit() || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
            }))
            continue;
        const QByteArray leftover = QFile::encodeName(folder.filePath(name));
        struct stat entry = {};
        if (::lstat(leftover.constData(), &entry) != 0 || !S_ISREG(entry.st_mode) ||
            entry.st_uid != ::geteuid())
            continue;
        if (::unlink(leftover.constData()) == 0)
            removed << name;
    }
    return removed;
}

MadePrivate makePrivate(const QString& path)
{
    MadePrivate result;
    // O_PATH would not allow fchmod(); O_NONBLOCK keeps a FIFO from holding us.
    const int descriptor = ::open(QFile::encodeName(path).constData(),
                                  O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0)
        return result; // absent, a link, or nothing we may open: nothing of ours to change
    struct stat info = {};
    if (::fstat(descriptor, &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) &&
        (info.st_mode & 077) != 0) {
        result.before = int(info.st_mode & 07777);
        const mode_t wanted = S_ISDIR(info.st_mode) ? S_IRWXU : OwnerOnly;
        if (info.st_uid != ::geteuid())
            result.error = QStringLiteral("it belongs to another user");
        else if (::fchmod(descriptor, wanted) != 0)
            result.error = systemError(errno);
        else
            result.changed = true;
    }
    ::close(descriptor);
    return result;
}

int openForAppend(const QString& path, QString* error)
{
    // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting for one.
    const int descriptor = ::open(
        QFile::encodeName(path).constData(),
        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, OwnerOnly);
    if (descriptor < 0) {
        *error = openError(path, errno);
        return -1;
    }
    struct stat info = {};
    QString refusal;
    if (::fstat(descriptor, &info) != 0)
        refusal = systemError(errno);
    else if (!S_ISREG(info.st_mode))
        refusal = notAFile(kindOf(info.st_mode));
    else if (info.st_uid != ::geteuid())
        refusal = QStringLiteral("it belongs to another user");
    else if ((info.st_mode & 07777) != OwnerOnly && ::fchmod(descriptor, OwnerOnly) != 0)
        refusal = QStringLiteral("it cannot be made private (%1)").arg(systemError(errno));
    if (!refusal.isEmpty()) {
        ::close(descriptor);
        *error = refusal;
        return -1;
    }
    ::fcntl(descriptor, F_SETFL, O_WRONLY | O_APPEND);
    return descriptor;
}

} // namespace privatefile
