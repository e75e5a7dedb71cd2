#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <atomic>

class HelperRun;

// Shows the service's news on the user's desktop, as a notification of the
// session bus's notification server (org.freedesktop.Notifications), through
// the helper velmora-notify: one short process per notification, so that the
// bus libraries never load into the resident service. Without a session bus
// (no DBUS_SESSION_BUS_ADDRESS: a service started outside a desktop session)
// nothing is shown and nothing is said: the journal has it all. One helper runs
// at a time, so that notifications arrive in the order of their news.
class DesktopNotifier : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifier(QString helper, QObject* parent = nullptr);

    // On by default.
    void setEnabled(bool enabled) { m_enabled = enabled; }
    bool isEnabled() const { return m_enabled; }

public slots:
    // May be called from any thread; the helper starts from this object's
    // thread, and nobody waits for it.
    void notify(const QString& summary, const QString& body);

private:
    struct Notice
    {
        QString summary;
        QString body;
    };

    void show(const QString& summary, const QString& body);
    void showNext();

    const QString m_helper;
    std::atomic<bool> m_enabled{true};
    QList<Notice> m_waiting;
    HelperRun* m_current = nullptr;
};
