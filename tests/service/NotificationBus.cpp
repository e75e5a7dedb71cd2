#include "NotificationBus.h"

#include "support/TestTime.h"

#include <QDBusError>
#include <QDeadlineTimer>
#include <QStandardPaths>

namespace {

const QString ConnectionName = QStringLiteral("notification-server");

} // namespace

NotificationBus::~NotificationBus()
{
    m_connection.reset();
    QDBusConnection::disconnectFromBus(ConnectionName);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(testtime::scaled(5000))) {
            m_daemon.kill();
            m_daemon.waitForFinished(testtime::scaled(30000));
        }
    }
}

QString NotificationBus::missing()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        return QStringLiteral("dbus-daemon is needed for a D-Bus session bus");
    return {};
}

bool NotificationBus::start(QString* why)
{
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(testtime::scaled(5000))) {
        *why = QStringLiteral("dbus-daemon did not start: %1").arg(m_daemon.errorString());
        return false;
    }
    const QDeadlineTimer deadline(testtime::scaled(10000));
    while (!m_daemon.canReadLine() && !deadline.hasExpired())
        m_daemon.waitForReadyRead(int(deadline.remainingTime()));
    m_address = QString::fromLatin1(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty()) {
        *why = QStringLiteral("dbus-daemon gave no address");
        return false;
    }
    m_connection =
        std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(m_address, ConnectionName));
    if (!m_connection->isConnected() ||
        !m_connection->registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_receiver,
                                      QDBusConnection::ExportAllSlots) ||
        !m_connection->registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        *why = QStringLiteral("no notification server on the bus: %1")
                   .arg(m_connection->lastError().message());
        return false;
    }
    return true;
}
