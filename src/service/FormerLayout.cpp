#include "service/FormerLayout.h"

#include "common/ErrorText.h"
#include "common/VelmoraPaths.h"
#include "service/ServiceOptions.h"
#include "service/alerts/HistoryLog.h"
#include "service/base/ServiceError.h"
#include "service/base/ServiceLog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace formerlayout {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

enum class Found
{
    Nothing,
    PlainFile,
    SomethingElse
};

Found lookAt(const QString& path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return Found::Nothing;
    return S_ISREG(info.st_mode) ? Found::PlainFile : Found::SomethingElse;
}

bool sameFile(const QString& one, const QString& other)
{
    struct stat first = {};
    struct stat second = {};
    return ::stat(QFile::encodeName(one).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(other).constData(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Whether the file may be moved to `to`: a plain file in a folder we may change
// (a file we may read but not remove would be copied again at every start),
// not already the file at `to`.
bool movable(const QString& path, const QString& to, const QString& what)
{
    if (sameFile(path, to))
        return false;
    switch (lookAt(path)) {
    case Found::Nothing:
        return false;
    case Found::SomethingElse:
        logLine(LogLevel::Warning,
                QStringLiteral("left %1 %2 where it is: it is not a plain file").arg(what, path));
        return false;
    case Found::PlainFile:
        break;
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::access(folder.constData(), W_OK | X_OK) != 0) {
        logLine(LogLevel::Warning,
                QStringLiteral("left %1 %2 where it is: its folder cannot be changed (%3)")
                    .arg(what, path, systemError(errno)));
        return false;
    }
    return true;
}

std::optional<QByteArray> readFile(const QString& path)
{
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
    if (descriptor < 0)
        return std::nullopt;
    QFile file;
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return std::nullopt;
    }
    const QByteArray contents = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return contents;
}

bool writeNewFile(const QString& path, const QByteArray& contents)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
           file.write(contents) == contents.size() && file.flush() && file.commit();
}

// A name beside `path` that nothing has yet.
QString asideName(const QString& path)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path + QStringLiteral(".former-") + stamp;
    for (int n = 2; lookAt(aside) != Found::Nothing; ++n)
        aside = path + QStringLiteral(".former-%1-%2").arg(stamp).arg(n);
    return aside;
}

bool remove(const QString& path, const QString& what)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0)
        return true;
    logLine(LogLevel::Warning,
            QStringLiteral("cannot remove %1 %2: %3").arg(what, path, systemError(errno)));
    return false;
}

} // namespace

QString lockFile(const QString& configDir)
{
    return configDir + QStringLiteral("/service.lock");
}

void moveAll(const ServiceOptions& options)
{
    if (!options.formerLogFile.isEmpty())
        moveHistoryLog(options.formerLogFile, options.logFile);
    for (const char* name :
         {velmorapaths::RememberedAddressesName, velmorapaths::PendingAlertsName})
        moveStateFile(options.configDir + u'/' + QLatin1String(name),
                      options.stateDir + u'/' + QLatin1String(name));
}

void moveHistoryLog(const QString& from, const QString& to)
{
    const QString what = QStringLiteral("the history log");
    if (!movable(from, to, what))
        return;
    std::optional<QByteArray> lines = readFile(from);
    if (!lines) {
        logLine(LogLevel::Warning,
                QStringLiteral("left the history log %1 where it is: it cannot be read").arg(from));
        return;
    }
    if (lines->isEmpty()) {
        if (remove(from, what))
            logLine(LogLevel::Info, QStringLiteral("removed the empty history log %1").arg(from));
        return;
    }
    // The lines the service adds later must not run on from the last one.
    if (!lines->endsWith('\n') && !lines->endsWith('\r'))
        lines->append("\r\n");
    const bool added = lookAt(to) != Found::Nothing;
    try {
        HistoryLog(to).appendLines(*lines);
    } catch (const ServiceError& e) {
        logLine(LogLevel::Warning,
                QStringLiteral("left the history log %1 where it is: %2").arg(from, errorText(e)));
        return;
    }
    if (!remove(from, what))
        return;
    logLine(LogLevel::Notice,
            added ? QStringLiteral("added the lines of the history log %1 to %2").arg(from, to)
                  : QStringLiteral("moved the history log %1 to %2").arg(from, to));
}

void moveStateFile(const QString& from, const QString& to)
{
    const QString what = QStringLiteral("the file");
    if (!movable(from, to, what))
        return;
    const std::optional<QByteArray> contents = readFile(from);
    if (!contents) {
        logLine(LogLevel::Warning,
                QStringLiteral("left the file %1 where it is: it cannot be read").arg(from));
        return;
    }
    const QString target = lookAt(to) == Found::Nothing ? to : asideName(to);
    if (!writeNewFile(target, *contents)) {
        logLine(
            LogLevel::Warning,
            QStringLiteral("left the file %1 where it is: %2 cannot be written").arg(from, target));
        return;
    }
    if (!remove(from, what)) {
        // Kept where it was, and only there: the next start tries again.
        ::unlink(QFile::encodeName(target).constData());
        return;
    }
    logLine(LogLevel::Notice, target == to
                                  ? QStringLiteral("moved %1 to %2").arg(from, to)
                                  : QStringLiteral("moved %1 to %2, beside %3, which stays in use")
                                        .arg(from, target, to));
}

} // namespace formerlayout
