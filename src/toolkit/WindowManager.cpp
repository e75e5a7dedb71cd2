#include "toolkit/WindowManager.h"

#include <QGuiApplication>
#include <QStringList>

bool windowManagerMinimizes()
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true;
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    return desktops.contains(QLatin1String("GNOME"), Qt::CaseInsensitive) ||
           desktops.contains(QLatin1String("KDE"), Qt::CaseInsensitive);
}
