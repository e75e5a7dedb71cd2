#pragma once

#include <QList>
#include <QTcpServer>
#include <QTimer>
#include <chrono>
#include <netinet/in.h>
#include <sys/types.h>

class RequestHandler;
class ServiceConnection;
class SocketOwnerLookup;

// The window's endpoint: 127.0.0.1 only, a new connection per exchange. Every
// accepted connection is checked for its owner before a byte is read from it.
class ServiceListener : public QTcpServer
{
    Q_OBJECT
public:
    ServiceListener(RequestHandler& handler, SocketOwnerLookup& owners,
                    std::chrono::milliseconds requestTimeout, QObject* parent = nullptr);
    ~ServiceListener() override;

    // Throws ServiceError when the port cannot be had.
    void listenOn(quint16 port);

    // Exchanges still waiting for their peer.
    qsizetype openConnections() const { return m_open.size(); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onAcceptError(QAbstractSocket::SocketError error);
    void onConnectionFinished(ServiceConnection* connection);
    void closeExpired();
    void serveWaiting();

    RequestHandler& m_handler;
    SocketOwnerLookup& m_owners;
    std::chrono::milliseconds m_requestTimeout;
    uid_t m_user;
    sockaddr_in m_address{};          // where we listen: every connection's own end
    QList<ServiceConnection*> m_open; // in the order they came
    QTimer m_expiry;
    QTimer m_resume;
};
