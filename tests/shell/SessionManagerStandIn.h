#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// A session manager of the test's own, speaking XSMP through libSM and libICE on
// a local (Unix socket) ICE listener: it takes one client and sends it what a
// desktop session sends at a log-off (the request to save, the cancel, the
// "die"). Everything waits a bounded time, pumping the ICE connections meanwhile.
class SessionManagerStandIn
{
public:
    SessionManagerStandIn();
    ~SessionManagerStandIn();
    SessionManagerStandIn(const SessionManagerStandIn&) = delete;
    SessionManagerStandIn& operator=(const SessionManagerStandIn&) = delete;

    // Listens; false (errorText() says why) when it cannot.
    bool listen();
    QString errorText() const;
    // The value of SESSION_MANAGER for the client.
    QString address() const;

    // Waits until a client has registered.
    bool waitForClient(int timeoutMs);
    // Asks the client to save as a log-off does (save both, shutdown, any
    // interaction allowed) and waits for its answer; false without one.
    bool requestSaveForLogOff(int timeoutMs, bool* saved);
    void cancelShutdown();
    void die();
    // Waits until the client has closed its connection.
    bool waitForClientGone(int timeoutMs);
    // The restart style the client asked for (SmRestartIfRunning, SmRestartNever, ...),
    // or -1 when it set none.
    int restartStyle() const;

    struct State;

private:
    bool pumpUntil(const std::function<bool()>& done, int timeoutMs);

    std::unique_ptr<State> m_state;
};
