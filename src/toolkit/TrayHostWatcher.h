#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// Tells when a notification area appears while there is none, so that a panel
// that starts after the program is still used. The StatusNotifier watcher's name
// getting an owner on the session bus is seen at once; an X11 tray selection
// owner is looked for every pollIntervalMs while there is no tray.
class TrayHostWatcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultPollMs = 1000;

    explicit TrayHostWatcher(std::function<bool()> trayAvailable,
                             int pollIntervalMs = DefaultPollMs, QObject* parent = nullptr);

    // Starts looking, once no tray was found; appeared follows once there is one.
    void watch();

signals:
    void appeared();

private:
    void look();

    std::function<bool()> m_trayAvailable;
    QTimer m_poll;
};
