#pragma once

#include "NotificationReceiver.h"

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <memory>

// A session bus of the test's own (dbus-daemon) with a NotificationReceiver on
// it as the desktop's notification server; it ends with the object.
class NotificationBus
{
public:
    ~NotificationBus();

    // Why there can be no bus here (dbus-daemon is not installed); empty when there can.
    static QString missing();
    // Starts the bus and registers the receiver; false with the reason otherwise.
    bool start(QString* why);
    // For DBUS_SESSION_BUS_ADDRESS.
    QString address() const { return m_address; }
    NotificationReceiver& receiver() { return m_receiver; }

private:
    QProcess m_daemon;
    QString m_address;
    std::unique_ptr<QDBusConnection> m_connection;
    NotificationReceiver m_receiver;
};
