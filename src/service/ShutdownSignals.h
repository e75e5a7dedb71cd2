#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGINT arrive as ordinary events (through a signalfd), so the
// service ends its event loop and cleans up as on any other exit.
class ShutdownSignals : public QObject
{
    Q_OBJECT
public:
    // Holds the two signals back in this thread and every thread started later;
    // call first thing in main().
    static void blockInProcess();

    explicit ShutdownSignals(QObject* parent = nullptr); // throws ServiceError
    ~ShutdownSignals() override;

signals:
    void received(int signalNumber);

private:
    void onReadable();

    int m_descriptor = -1;
    QSocketNotifier* m_notifier = nullptr;
};
