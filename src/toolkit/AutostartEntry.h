#pragma once

#include <QString>
#include <QStringList>

// Whether the program starts when the user logs on: the user's entry in the
// autostart folder (XDG autostart). An entry of the same name in a system-wide
// autostart folder starts it for everyone; the user's entry, if any, overrides
// it, and one with Hidden=true turns it off for this user only.
class AutostartEntry
{
public:
    // desktopId: the entry's file name without ".desktop"; command: the program
    // and its arguments as the entry starts them; userFolder: where this user's
    // entry lives; systemFolders: the system-wide autostart folders, most
    // important first.
    AutostartEntry(QString desktopId, QStringList command, QString userFolder,
                   QStringList systemFolders);
    // The folders of $XDG_CONFIG_HOME and $XDG_CONFIG_DIRS (defaults ~/.config and /etc/xdg).
    static AutostartEntry forThisUser(const QString& desktopId, const QStringList& command);

    bool isEnabled() const;
    // Throws std::runtime_error, with the file and the reason, when the user's
    // entry cannot be written or removed; nothing is changed then.
    void setEnabled(bool enabled);

    QString userEntryPath() const;

private:
    QString systemEntryPath() const;
    QByteArray entryText(bool hidden) const;
    void writeUserEntry(bool hidden) const;
    void removeUserEntry() const;

    QString m_desktopId;
    QStringList m_command;
    QString m_userFolder;
    QStringList m_systemFolders;
};
