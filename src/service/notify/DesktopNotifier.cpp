#include "service/notify/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {}

void DesktopNotifier::notify(const QString& summary, const QString& body)
{
    if (!m_enabled)
        return;
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, summary, body] { show(summary, body); }, Qt::QueuedConnection);
        return;
    }
    show(summary, body);
}

void DesktopNotifier::show(const QString& summary, const QString& body)
{
    if (!m_enabled || qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    call << QStringLiteral("Velmora") << uint(0) << QStringLiteral("velmora") << summary << body
         << QStringList() << QVariantMap() << int(-1);
    // No server, or one that refuses: nothing to do about it.
    bus.send(call);
}
