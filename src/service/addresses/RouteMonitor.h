#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>

class QSocketNotifier;

// Listens to the kernel's routing notices (rtnetlink: IPv4 and IPv6 addresses
// and routes, links) and says at once when something changed. One change brings
// a burst of notices: all those already queued are taken in with the first,
// so a burst costs one reading, and one more when notices come in while the
// addresses are being read. A storm of notices (hundreds of routes coming and
// going) is read at most ReadingsPerWindow times a Window.
class RouteMonitor : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReadingsPerWindow = 4;
    static constexpr std::chrono::milliseconds Window{10};

    // Follows the kernel's notices.
    explicit RouteMonitor(QObject* parent = nullptr);
    // Follows the datagrams that arrive on `socket` (each one a notice); takes
    // the descriptor over. A negative one is a monitor without notices.
    explicit RouteMonitor(int socket, QObject* parent = nullptr);
    ~RouteMonitor() override;

    // False when the notices cannot be had (then only periodic reading helps).
    bool isActive() const { return m_socket >= 0; }

signals:
    // Read the addresses and routes again.
    void changed();

private:
    void onReadable();
    // Says changed() now, or at the end of the window when it is spent.
    void announceWhenAllowed();
    void onWindowOver();
    void announce();
    // Reads every notice already queued (their content does not matter);
    // false when there was none.
    bool drain();

    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    QElapsedTimer m_window;
    int m_readingsInWindow = 0;
    QTimer m_windowOver;
};
