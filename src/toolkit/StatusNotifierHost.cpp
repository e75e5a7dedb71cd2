#include "toolkit/StatusNotifierHost.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

namespace statusnotifier {

namespace {

const QString WatcherName = QStringLiteral("org.kde.StatusNotifierWatcher");

// The watcher's name comes a moment before its host registers: looked at that often.
constexpr int HostPollMs = 200;

} // namespace

bool hostRegistered()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(WatcherName))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        WatcherName, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call.setArguments({WatcherName, QStringLiteral("IsStatusNotifierHostRegistered")});
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage &&
           reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

void whenHostRegistered(QObject* owner, std::function<void()> ready)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto* poll = new QTimer(owner);
    poll->setInterval(HostPollMs);
    QObject::connect(poll, &QTimer::timeout, owner, [poll, ready = std::move(ready)] {
        if (!hostRegistered())
            return;
        poll->stop();
        poll->deleteLater();
        ready();
    });
    // Looked for only while a watcher is there: nothing is asked of an empty bus.
    auto* names = new QDBusServiceWatcher(WatcherName, bus,
                                          QDBusServiceWatcher::WatchForRegistration |
                                              QDBusServiceWatcher::WatchForUnregistration,
                                          poll);
    QObject::connect(names, &QDBusServiceWatcher::serviceRegistered, poll,
                     [poll] { poll->start(); });
    QObject::connect(names, &QDBusServiceWatcher::serviceUnregistered, poll,
                     [poll] { poll->stop(); });
    if (bus.interface()->isServiceRegistered(WatcherName))
        poll->start();
}

void whenWatcherGone(QObject* owner, int graceMs, std::function<void()> gone)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    auto* grace = new QTimer(owner);
    grace->setSingleShot(true);
    grace->setInterval(graceMs);
    QObject::connect(grace, &QTimer::timeout, owner, [gone = std::move(gone)] {
        if (!hostRegistered())
            gone();
    });
    auto* names = new QDBusServiceWatcher(WatcherName, bus,
                                          QDBusServiceWatcher::WatchForUnregistration, grace);
    QObject::connect(names, &QDBusServiceWatcher::serviceUnregistered, grace,
                     [grace] { grace->start(); });
}

} // namespace statusnotifier
