#include "StatusNotifierProbe.h"

#include "ProgramUnderTest.h"
#include "support/TestTime.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>

namespace statusnotifierprobe {

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString MenuInterface = QStringLiteral("com.canonical.dbusmenu");

// Waited for with the event loop running, so that a test that answers the
// program's own calls (its watcher) keeps answering meanwhile.
QDBusMessage call(const QDBusConnection& bus, const QString& service, const QString& path,
                  const QString& interface, const QString& method, const QVariantList& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = bus.asyncCall(message, testtime::scaled(5000));
    waitFor([&] { return pending.isFinished(); }, testtime::scaled(6000));
    return pending.isFinished() ? pending.reply() : QDBusMessage();
}

QVariant property(const QDBusConnection& bus, const QString& service, const QString& path,
                  const QString& interface, const QString& name)
{
    const QDBusMessage reply =
        call(bus, service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {interface, name});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
}

// "service/path", or a bare service at the usual path.
std::pair<QString, QString> split(const QString& item)
{
    const qsizetype slash = item.indexOf(u'/');
    if (slash < 0)
        return {item, QStringLiteral("/StatusNotifierItem")};
    return {item.left(slash), item.mid(slash)};
}

struct MenuEntry
{
    int id = 0;
    QString line;
};

// (ia{sv}av), depth first.
void collect(const QDBusArgument& node, QList<MenuEntry>* entries, bool root)
{
    int id = 0;
    QVariantMap properties;
    node.beginStructure();
    node >> id >> properties;
    if (!root) {
        QString line =
            properties.value(QStringLiteral("type")).toString() == QLatin1String("separator")
                ? QStringLiteral("separator")
                : properties.value(QStringLiteral("label")).toString();
        if (!properties.value(QStringLiteral("enabled"), true).toBool())
            line += QStringLiteral(" (disabled)");
        if (properties.value(QStringLiteral("visible"), true).toBool())
            entries->append({id, line});
    }
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        collect(child.variant().value<QDBusArgument>(), entries, false);
    }
    node.endArray();
    node.endStructure();
}

QList<MenuEntry> menu(const QDBusConnection& bus, const QString& item, QString* menuPath)
{
    const auto [service, path] = split(item);
    *menuPath = property(bus, service, path, ItemInterface, QStringLiteral("Menu"))
                    .value<QDBusObjectPath>()
                    .path();
    if (menuPath->isEmpty())
        return {};
    // As a tray does when it opens the menu.
    call(bus, service, *menuPath, MenuInterface, QStringLiteral("AboutToShow"), {0});
    const QDBusMessage reply = call(bus, service, *menuPath, MenuInterface,
                                    QStringLiteral("GetLayout"), {0, -1, QStringList()});
    if (reply.arguments().size() < 2)
        return {};
    QList<MenuEntry> entries;
    collect(reply.arguments().at(1).value<QDBusArgument>(), &entries, true);
    return entries;
}

} // namespace

QStringList registeredItems(const QDBusConnection& bus)
{
    return property(bus, WatcherService, QStringLiteral("/StatusNotifierWatcher"), WatcherService,
                    QStringLiteral("RegisteredStatusNotifierItems"))
        .toStringList();
}

ToolTip toolTip(const QDBusConnection& bus, const QString& item)
{
    const auto [service, path] = split(item);
    const QVariant value = property(bus, service, path, ItemInterface, QStringLiteral("ToolTip"));
    if (!value.canConvert<QDBusArgument>())
        return {};
    // (sa(iiay)ss): icon name, icon pixmaps, title, body.
    const QDBusArgument tip = value.value<QDBusArgument>();
    ToolTip read;
    QString iconName;
    tip.beginStructure();
    tip >> iconName;
    tip.beginArray();
    while (!tip.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        tip.beginStructure();
        tip >> width >> height >> pixels;
        tip.endStructure();
    }
    tip.endArray();
    tip >> read.title >> read.body;
    tip.endStructure();
    read.read = true;
    return read;
}

QStringList menuLines(const QDBusConnection& bus, const QString& item)
{
    QString path;
    QStringList lines;
    for (const MenuEntry& entry : menu(bus, item, &path))
        lines.append(entry.line);
    return lines;
}

bool chooseFromMenu(const QDBusConnection& bus, const QString& item, const QString& label)
{
    QString path;
    const QList<MenuEntry> entries = menu(bus, item, &path);
    const auto entry = std::find_if(entries.cbegin(), entries.cend(),
                                    [&](const MenuEntry& e) { return e.line == label; });
    if (entry == entries.cend())
        return false;
    const QDBusMessage reply = call(
        bus, split(item).first, path, MenuInterface, QStringLiteral("Event"),
        {entry->id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(QString())), 0u});
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace statusnotifierprobe
