#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QMutex>
#include <QSemaphore>
#include <QThread>
#include <QUrl>
#include <atomic>

class QTcpServer;

// A stand-in for an internet echo service: a tiny HTTP server on 127.0.0.1 (or ::1) that
// answers every request with the status and body set last, optionally after a
// delay or never. It runs on a thread of its own, so it answers while the test
// blocks on the service.
class EchoHttpServer : public QThread
{
    Q_OBJECT
public:
    explicit EchoHttpServer(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost));
    ~EchoHttpServer() override;

    quint16 port() const { return m_port; }
    QUrl url() const;

    // delayMs < 0: take the request and never answer.
    void setReply(int status, const QByteArray& body, int delayMs = 0);
    void setAddress(const QByteArray& address) { setReply(200, address + "\n"); }

    int requestCount() const { return m_requests.load(); }
    // The Host header of the last request.
    QByteArray lastHost() const;

protected:
    void run() override;

private:
    struct Reply
    {
        int status = 200;
        QByteArray body;
        int delayMs = 0;
    };
    Reply reply() const;
    void onRequest(class QTcpSocket* socket);

    QHostAddress m_address;
    QSemaphore m_listening;
    mutable QMutex m_mutex;
    Reply m_reply;
    QByteArray m_lastHost;
    std::atomic<int> m_requests{0};
    std::atomic<quint16> m_port{0};
};
