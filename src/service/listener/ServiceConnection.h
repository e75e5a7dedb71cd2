#pragma once

#include "service/listener/RequestReader.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <chrono>

class QSocketNotifier;
class RequestHandler;

// One exchange with the window on an accepted socket: read one request, answer
// it, close. It works on the descriptor directly and asks the event loop for
// help only when the peer is slower than the service, which keeps the common
// exchange (the request already waiting) to a few system calls.
class ServiceConnection : public QObject
{
    Q_OBJECT
public:
    ServiceConnection(int descriptor, RequestHandler& handler, QDeadlineTimer deadline,
                      QObject* parent = nullptr);
    ~ServiceConnection() override;

    // Serves as far as the socket allows now. True when the exchange is over
    // (answered or refused) and the socket closed.
    bool serve();

    bool isFinished() const { return m_descriptor < 0; }
    bool hasExpired() const { return m_deadline.hasExpired(); }
    // How long the exchange has been going on.
    std::chrono::milliseconds waited() const
    {
        return std::chrono::milliseconds(m_since.elapsed());
    }
    // Ends the exchange without an answer, reporting the reason unless it is empty.
    void abandon(const QString& reason);

signals:
    // Emitted when an exchange that went on in the background has ended.
    void finished(ServiceConnection* connection);

private:
    void onReadable();
    void onWritable();
    bool readRequest();   // true when the request is whole or refused
    bool prepareAnswer(); // true when there is a reply to send
    bool sendPending();   // true when everything is sent
    void closeSocket();
    void watch(bool reading, bool writing);

    int m_descriptor;
    RequestHandler& m_handler;
    QDeadlineTimer m_deadline;
    QElapsedTimer m_since;
    RequestReader m_reader;
    QByteArray m_outgoing;
    qsizetype m_sent = 0;
    bool m_answered = false;
    bool m_unreadMayRemain = false;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
};
