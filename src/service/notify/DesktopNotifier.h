#pragma once

#include <QObject>
#include <QString>
#include <atomic>

// Shows the service's news on the user's desktop, as a notification of the
// session bus's notification server (org.freedesktop.Notifications). Without
// a session bus (no DBUS_SESSION_BUS_ADDRESS: a service started outside a
// desktop session) nothing is shown and nothing is said: the journal has it
// all. The bus is first touched when the first notification is to be shown.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    // On by default.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }

public slots:
    // May be called from any thread; the notification goes out from this
    // object's thread, without waiting for the server's answer.
    void notify(const QString& summary, const QString& body);

private:
    void show(const QString& summary, const QString& body);

    std::atomic<bool> m_enabled{true};
};
