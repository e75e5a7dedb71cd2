// velmora-notify: asks the desktop's notification server (org.freedesktop.Notifications
// on the session bus) to show one notification, and ends. velmora-service runs it
// for each notification, so that the bus libraries stay out of the resident service.
//
//   velmora-notify <summary> <body>
//
// Exit code 0 when the server took the notification, 1 when there is no session
// bus or no server took it (the service does not mind), 2 on a bad command line.
#include "common/TimeLimits.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {

constexpr int Shown = 0;
constexpr int NotShown = 1;
constexpr int BadUsage = 2;
// A server that does not answer in this time is not waited for.
constexpr int AnswerTimeoutMs = int(std::chrono::milliseconds(timelimits::NotifyAnswer).count());

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 3)
        return BadUsage;
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return NotShown;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return NotShown;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The installed icon and desktop entry share the desktop id; the hint lets the
    // server show the application's icon and group its notifications.
    const QString desktopId = QStringLiteral(VELMORA_DESKTOP_ID);
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopId}};
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    call << QStringLiteral("Velmora") << uint(0) << desktopId << arguments.at(1) << arguments.at(2)
         << QStringList() << hints << int(-1);
    const QDBusMessage answer = bus.call(call, QDBus::Block, AnswerTimeoutMs);
    return answer.type() == QDBusMessage::ReplyMessage ? Shown : NotShown;
}
