#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

class QSocketNotifier;

// Listens to the kernel's routing notices (rtnetlink: IPv4 addresses, IPv4
// routes, links) and says at once when something changed. One change brings
// a burst of notices: all those already queued are taken in with the first,
// and those that follow within MinGap of a changed() bring one more changed()
// at the end of the gap, so a burst costs one reading, or two when it trails,
// and a storm of notices costs at most one reading per gap.
class RouteMonitor : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds MinGap{2};

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
    void onGapOver();
    // Reads every notice already queued (their content does not matter);
    // false when there was none.
    bool drain();
    void announce();

    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_gap;
    bool m_noticedInGap = false;
};
