#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

class QSocketNotifier;

// Listens to the kernel's routing notices (rtnetlink: IPv4 addresses, IPv4
// routes, links) and says when something changed, a moment after the last
// notice of a burst: one address change brings several notices at once.
class RouteMonitor : public QObject
{
    Q_OBJECT
public:
    explicit RouteMonitor(std::chrono::milliseconds settleTime, QObject* parent = nullptr);
    ~RouteMonitor() override;

    // False when the notices cannot be had (then only periodic reading helps).
    bool isActive() const { return m_socket >= 0; }

signals:
    void changed();

private:
    void onReadable();

    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_settle;
};
