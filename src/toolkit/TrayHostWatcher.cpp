#include "toolkit/TrayHostWatcher.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>

TrayHostWatcher::TrayHostWatcher(std::function<bool()> trayAvailable, int pollIntervalMs,
                                 QObject* parent)
    : QObject(parent), m_trayAvailable(std::move(trayAvailable))
{
    m_poll.setInterval(pollIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, &TrayHostWatcher::look);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        auto* names = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                              QDBusServiceWatcher::WatchForRegistration, this);
        connect(names, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            if (m_poll.isActive())
                look();
        });
    }
}

void TrayHostWatcher::watch()
{
    // Not asked again here: the caller has just found none.
    if (!m_poll.isActive())
        m_poll.start();
}

void TrayHostWatcher::look()
{
    if (!m_trayAvailable())
        return;
    m_poll.stop();
    emit appeared();
}
