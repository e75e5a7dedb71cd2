#pragma once

#include <QObject>

class QSocketNotifier;

// Tells the program that the log-on session ends: SIGTERM or SIGHUP (delivered
// through a self-pipe, so the handler runs on the event loop) and, where a
// session manager runs, its request to save data.
class SessionEndWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SessionEndWatcher(QObject* parent = nullptr);
    ~SessionEndWatcher() override;

signals:
    void sessionEnding();

private:
    QSocketNotifier* m_notifier = nullptr;
};
