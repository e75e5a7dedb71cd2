#include "common/VelmoraPaths.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

namespace velmorapaths {

namespace {

// The variable's value when it names an absolute path; empty otherwise.
QString absoluteFolder(const char* variable)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QString();
}

QString orHome(const QString& folder, const QString& underHome)
{
    return folder.isEmpty() ? QDir::homePath() + underHome : folder;
}

} // namespace

QString configHome()
{
    return orHome(absoluteFolder("XDG_CONFIG_HOME"), QStringLiteral("/.config"));
}

QString stateHome()
{
    return orHome(absoluteFolder("XDG_STATE_HOME"), QStringLiteral("/.local/state"));
}

QString runtimeDir()
{
    return absoluteFolder("XDG_RUNTIME_DIR");
}

QString configDir()
{
    return configHome() + QStringLiteral("/velmora");
}

QString stateDir()
{
    return stateHome() + QStringLiteral("/velmora");
}

QString historyLog()
{
    return stateDir() + u'/' + QLatin1String(HistoryLogName);
}

bool isPrivateFolder(const QString& folder)
{
    struct stat info = {};
    return !folder.isEmpty() && ::lstat(QFile::encodeName(folder).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

QString serviceLock()
{
    const QString runtime = runtimeDir();
    return isPrivateFolder(runtime) ? runtime + QStringLiteral("/velmora-service.lock")
                                    : stateDir() + QStringLiteral("/service.lock");
}

} // namespace velmorapaths
