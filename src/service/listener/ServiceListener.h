#pragma once

#include "service/listener/RefusalSummary.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <netinet/in.h>
#include <sys/types.h>

class QSocketNotifier;
class RequestHandler;
class ServiceConnection;
class SocketOwnerLookup;

// The window's endpoint: 127.0.0.1 only, a new connection per exchange. Every
// accepted connection is checked for its owner before a byte is read from it.
// A flood of slow connections does not keep the window's exchanges out: when
// many wait, slow ones are closed sooner, and when the table is full the one
// that has waited longest makes room for the newcomer. What is turned away is
// summarised in the log, not told one line each.
// A plain listening socket rather than QTcpServer: that one keeps the first
// accept error for good, so a shortage of descriptors either spins or stops
// accepting.
class ServiceListener : public QObject
{
    Q_OBJECT
public:
    ServiceListener(RequestHandler& handler, SocketOwnerLookup& owners,
                    std::chrono::milliseconds requestTimeout, QObject* parent = nullptr);
    ~ServiceListener() override;

    // Throws PortHeldError (naming the holder) when another program listens
    // on the port, ServiceError when the port cannot be had otherwise.
    void listenOn(quint16 port);

    // Exchanges still waiting for their peer.
    qsizetype openConnections() const { return m_open.size(); }

private:
    void onIncoming();
    void serveConnection(int socket);
    void onConnectionFinished(ServiceConnection* connection);
    void closeExpired();
    void serveWaiting();

    RequestHandler& m_handler;
    SocketOwnerLookup& m_owners;
    std::chrono::milliseconds m_requestTimeout;
    uid_t m_user;
    int m_socket = -1;
    sockaddr_in m_address{}; // where we listen: every connection's own end
    QSocketNotifier* m_notifier = nullptr;
    QList<ServiceConnection*> m_open; // in the order they came
    QTimer m_expiry;
    QTimer m_resume;
    bool m_shortOfResources = false; // reported once until accepting works again
    RefusalSummary m_refusals;
};
