#include "service/alerts/DetachedProgram.h"

#include "helpers/HelperRun.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// NUL-terminated copies, and the pointer array execve takes; made before the
// fork, since the child may only make async-signal-safe calls.
struct CStrings
{
    explicit CStrings(const QList<QByteArray>& list) : bytes(list)
    {
        for (const QByteArray& item : bytes)
            pointers.push_back(const_cast<char*>(item.constData()));
        pointers.push_back(nullptr);
    }
    QList<QByteArray> bytes;
    std::vector<char*> pointers;
};

// What the grandchild reports through the pipe: its pid, then an errno when
// execve failed (nothing more when it succeeded: the pipe closes on exec).
struct Report
{
    pid_t pid = -1;
    int error = 0;
};

bool writeAll(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

[[noreturn]] void runGrandchild(int reportFd, const char* path, char* const argv[],
                                char* const envp[])
{
    Report report;
    report.pid = ::getpid();
    writeAll(reportFd, &report.pid, sizeof report.pid);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (input >= 0)
        ::dup2(input, STDIN_FILENO); // dup2 clears close-on-exec on the copy
    ::execve(path, argv, envp);
    report.error = errno;
    writeAll(reportFd, &report.error, sizeof report.error);
    ::_exit(127);
}

// In the first child: a session of its own, the signals as a new program
// expects them, then the program in a grandchild that nobody waits for.
[[noreturn]] void runMiddleChild(int reportFd, const char* path, char* const argv[],
                                 char* const envp[])
{
    ::setsid();
    restoreDefaultSignals();
    const pid_t grandchild = ::fork();
    if (grandchild == 0)
        runGrandchild(reportFd, path, argv, envp);
    ::_exit(grandchild < 0 ? 1 : 0);
}

} // namespace

std::optional<qint64> startDetachedProgram(const QString& program, const QStringList& arguments,
                                           const QProcessEnvironment& environment, QString* error)
{
    const QByteArray path = QFile::encodeName(program);
    QList<QByteArray> argumentBytes{path};
    for (const QString& argument : arguments)
        argumentBytes << argument.toLocal8Bit();
    QList<QByteArray> environmentBytes;
    for (const QString& entry : environment.toStringList())
        environmentBytes << entry.toLocal8Bit();
    const CStrings argv(argumentBytes);
    const CStrings envp(environmentBytes);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(report[0]);
        runMiddleChild(report[1], path.constData(), argv.pointers.data(), envp.pointers.data());
    }
    const int forkError = errno;
    ::close(report[1]);
    if (middle < 0) {
        ::close(report[0]);
        *error = QString::fromLocal8Bit(std::strerror(forkError));
        return std::nullopt;
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }

    // The pid, then an errno only if execve failed; end of file once it succeeded.
    Report got;
    char buffer[sizeof got.pid + sizeof got.error];
    size_t have = 0;
    while (have < sizeof buffer) {
        const ssize_t n = ::read(report[0], buffer + have, sizeof buffer - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        have += size_t(n);
    }
    ::close(report[0]);
    if (have < sizeof got.pid) {
        *error = QStringLiteral("the program could not be started (fork failed)");
        return std::nullopt;
    }
    std::memcpy(&got.pid, buffer, sizeof got.pid);
    if (have == sizeof buffer) {
        std::memcpy(&got.error, buffer + sizeof got.pid, sizeof got.error);
        *error = QString::fromLocal8Bit(std::strerror(got.error));
        return std::nullopt;
    }
    return qint64(got.pid);
}
