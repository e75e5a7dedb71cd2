#include "toolkit/AutostartEntry.h"

#include "common/PrivateFile.h"
#include "common/VelmoraPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <stdexcept>

namespace {

// An autostart entry is a few lines.
constexpr qint64 MaxEntrySize = 64 * 1024;

// The keys of an entry's [Desktop Entry] group that decide whether it starts.
// Only a regular file is an entry: a FIFO would hold the window until someone
// wrote to it, a device might never end.
bool startsAtLogOn(const QString& path)
{
    const privatefile::ReadResult entry =
        privatefile::read(path, MaxEntrySize, privatefile::Links::Followed);
    if (!entry.isRead())
        return false;
    bool inMainGroup = false;
    bool starts = true;
    const QList<QByteArray> lines = entry.contents.split('\n');
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed().toLower();
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            starts = false;
    }
    return starts;
}

// One argument of Exec, quoted where the desktop entry rules ask for it, then
// escaped as a string value.
QString execArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool quote = std::any_of(argument.cbegin(), argument.cend(),
                                   [](QChar c) { return reserved.contains(c); });
    QString text = argument;
    if (quote) {
        QString escaped;
        for (QChar c : argument) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                escaped += u'\\';
            escaped += c;
        }
        text = u'"' + escaped + u'"';
    }
    return text.replace(QLatin1String("\\"), QLatin1String("\\\\"));
}

[[noreturn]] void fail(const QString& what, const QString& path, const QString& reason)
{
    throw std::runtime_error(QStringLiteral("Could not %1 the log-on start: %2: %3")
                                 .arg(what, path, reason)
                                 .toLocal8Bit()
                                 .toStdString());
}

} // namespace

AutostartEntry::AutostartEntry(QString desktopId, QStringList command, QString userFolder,
                               QStringList systemFolders)
    : m_desktopId(std::move(desktopId)), m_command(std::move(command)),
      m_userFolder(std::move(userFolder)), m_systemFolders(std::move(systemFolders))
{
}

AutostartEntry AutostartEntry::forThisUser(const QString& desktopId, const QStringList& command)
{
    QStringList systemFolders;
    for (const QString& folder :
         qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts))
        if (!QDir::isRelativePath(folder))
            systemFolders.append(folder + QStringLiteral("/autostart"));
    if (systemFolders.isEmpty())
        systemFolders.append(QStringLiteral("/etc/xdg/autostart"));
    return AutostartEntry(desktopId, command,
                          velmorapaths::configHome() + QStringLiteral("/autostart"), systemFolders);
}

QString AutostartEntry::userEntryPath() const
{
    return m_userFolder + u'/' + m_desktopId + QStringLiteral(".desktop");
}

QString AutostartEntry::systemEntryPath() const
{
    for (const QString& folder : m_systemFolders) {
        const QString path = folder + u'/' + m_desktopId + QStringLiteral(".desktop");
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

bool AutostartEntry::isEnabled() const
{
    if (QFileInfo::exists(userEntryPath()))
        return startsAtLogOn(userEntryPath());
    const QString system = systemEntryPath();
    return !system.isEmpty() && startsAtLogOn(system);
}

void AutostartEntry::setEnabled(bool enabled)
{
    const QString system = systemEntryPath();
    const bool systemStarts = !system.isEmpty() && startsAtLogOn(system);
    if (enabled == systemStarts && QFileInfo::exists(userEntryPath()))
        removeUserEntry(); // the system-wide entry says what this user wants
    else if (enabled != systemStarts)
        writeUserEntry(!enabled); // an entry of the user's own, or one that hides the system's
}

QByteArray AutostartEntry::entryText(bool hidden) const
{
    QStringList exec;
    for (const QString& argument : m_command)
        exec.append(execArgument(argument));
    // The delays and the panel keys let the notification area come up first.
    QByteArray text = "[Desktop Entry]\n"
                      "Type=Application\n"
                      "Name=Velmora\n"
                      "Comment=Tells you when this computer's IP address changes\n"
                      "Exec=" +
                      exec.join(u' ').toUtf8() +
                      "\n"
                      "Icon=" +
                      m_desktopId.toUtf8() +
                      "\n"
                      "Terminal=false\n"
                      "X-GNOME-Autostart-enabled=true\n"
                      "X-GNOME-Autostart-Delay=5\n"
                      "X-MATE-Autostart-Delay=5\n"
                      "X-KDE-autostart-after=panel\n"
                      "X-LXQt-Need-Tray=true\n";
    if (hidden)
        text += "Hidden=true\n";
    return text;
}

void AutostartEntry::writeUserEntry(bool hidden) const
{
    if (!QDir().mkpath(m_userFolder))
        fail(QStringLiteral("change"), m_userFolder, QStringLiteral("the folder cannot be made"));
    QSaveFile file(userEntryPath());
    const QByteArray text = entryText(hidden);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush() ||
        !file.commit())
        fail(QStringLiteral("change"), userEntryPath(), file.errorString());
}

void AutostartEntry::removeUserEntry() const
{
    QFile file(userEntryPath());
    if (!file.remove())
        fail(QStringLiteral("change"), userEntryPath(), file.errorString());
}
