#pragma once

#include <QObject>

class QSocketNotifier;

// Tells the program that the log-on session ends: SIGTERM or SIGHUP (delivered
// through a self-pipe, so the handler runs on the event loop) and, where a
// session manager runs, its "die" message (which Qt turns into a request to quit).
class SessionEndWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SessionEndWatcher(QObject* parent = nullptr);
    ~SessionEndWatcher() override;

signals:
    void sessionEnding();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSocketNotifier* m_notifier = nullptr;
};
