#pragma once

#include <QDBusConnection>
#include <QStringList>

// What a StatusNotifier tray reads from an item on the bus, read the same way:
// its tip and the menu it draws, and a click in that menu.
namespace statusnotifierprobe {

struct ToolTip
{
    QString title;
    QString body;
    bool read = false;
};

// The items the tray's watcher lists, as "service/path".
QStringList registeredItems(const QDBusConnection& bus);
ToolTip toolTip(const QDBusConnection& bus, const QString& item);
// The menu's entries in order: each label ("_" marking the mnemonic) or
// "separator", " (disabled)" added to one that is disabled.
QStringList menuLines(const QDBusConnection& bus, const QString& item);
// Opens the menu and clicks the entry with `label`, as a tray does.
bool chooseFromMenu(const QDBusConnection& bus, const QString& item, const QString& label);

} // namespace statusnotifierprobe
