#include "common/VelmoraPaths.h"

#include <QDir>

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

QString serviceLock()
{
    const QString runtime = runtimeDir();
    return runtime.isEmpty() ? stateDir() + QStringLiteral("/service.lock")
                             : runtime + QStringLiteral("/velmora-service.lock");
}

} // namespace velmorapaths
