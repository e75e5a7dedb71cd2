#include "main_form/LogFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

LogFileProblem problemOf(const struct stat& status)
{
    if (S_ISLNK(status.st_mode))
        return LogFileProblem::SymbolicLink;
    if (!S_ISREG(status.st_mode))
        return LogFileProblem::NotRegularFile;
    if (status.st_uid != ::geteuid())
        return LogFileProblem::OtherOwner;
    return LogFileProblem::None;
}

LogFileProblem problemOfErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return LogFileProblem::Missing;
    case ELOOP: // O_NOFOLLOW met a link
        return LogFileProblem::SymbolicLink;
    case EISDIR:
    case ENXIO: // a pipe nobody reads
        return LogFileProblem::NotRegularFile;
    default:
        return LogFileProblem::Unreadable;
    }
}

LogFileStamp stampOf(const struct stat& status)
{
    LogFileStamp stamp;
    stamp.device = status.st_dev;
    stamp.inode = status.st_ino;
    stamp.size = status.st_size;
    stamp.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return stamp;
}

// Opens the file at path with the given flags, never through a link and never waiting
// on a pipe, and checks that it is a regular file of this user's.
int openOwnRegularFile(const QByteArray& name, int flags, LogFileProblem& problem,
                       struct stat& status)
{
    // Looked at first, so that nothing but a regular file is opened at all (opening a
    // device may already do something).
    if (::lstat(name.constData(), &status) != 0) {
        problem = problemOfErrno(errno);
        return -1;
    }
    problem = problemOf(status);
    if (problem != LogFileProblem::None)
        return -1;
    const int fd = ::open(name.constData(), flags | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        problem = problemOfErrno(errno);
        return -1;
    }
    // Something else may have taken the place meanwhile.
    if (::fstat(fd, &status) != 0)
        problem = LogFileProblem::Unreadable;
    else
        problem = problemOf(status);
    if (problem != LogFileProblem::None) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether the open file is still the one at path, not one that replaced it.
bool isStillAt(int fd, const QByteArray& path)
{
    struct stat opened = {};
    struct stat current = {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.constData(), &current) == 0 &&
           opened.st_dev == current.st_dev && opened.st_ino == current.st_ino;
}

} // namespace

QString logProblemText(LogFileProblem problem, const QString& path)
{
    switch (problem) {
    case LogFileProblem::None:
    case LogFileProblem::Missing:
        break;
    case LogFileProblem::SymbolicLink:
        return QStringLiteral("The history log \"%1\" is a symbolic link, so it is not shown or "
                              "cleared.")
            .arg(path);
    case LogFileProblem::NotRegularFile:
        return QStringLiteral("The history log \"%1\" is not a regular file, so it is not shown "
                              "or cleared.")
            .arg(path);
    case LogFileProblem::OtherOwner:
        return QStringLiteral("The history log \"%1\" belongs to another user, so it is not shown "
                              "or cleared.")
            .arg(path);
    case LogFileProblem::Unreadable:
        return QStringLiteral("The history log \"%1\" cannot be read.").arg(path);
    }
    return {};
}

LogFileProblem inspectLogFile(const QString& path, LogFileStamp& stamp)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return problemOfErrno(errno);
    const LogFileProblem problem = problemOf(status);
    if (problem == LogFileProblem::None)
        stamp = stampOf(status);
    return problem;
}

OpenedLogFile::OpenedLogFile(const QString& path)
{
    struct stat status = {};
    m_fd = openOwnRegularFile(QFile::encodeName(path), O_RDONLY, m_problem, status);
    if (m_fd >= 0)
        m_stamp = stampOf(status);
}

OpenedLogFile::~OpenedLogFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 OpenedLogFile::readAt(qint64 offset, char* buffer, qint64 size) const
{
    for (;;) {
        const ssize_t count = ::pread(m_fd, buffer, size_t(size), off_t(offset));
        if (count >= 0 || errno != EINTR)
            return count;
    }
}

LogFileProblem EraseLogFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    LogFileProblem problem = LogFileProblem::None;
    struct stat status = {};
    const int fd = openOwnRegularFile(name, O_WRONLY, problem, status);
    if (fd < 0)
        return problem == LogFileProblem::Missing ? LogFileProblem::None : problem;
    // While the service holds the lock it is writing: the file is left as it is.
    // The file is deleted before the lock is given up; a writer that was waiting
    // for the lock finds its file unlinked and starts a new one.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && isStillAt(fd, name) && ::ftruncate(fd, 0) == 0)
        ::unlink(name.constData());
    ::close(fd);
    return LogFileProblem::None;
}
