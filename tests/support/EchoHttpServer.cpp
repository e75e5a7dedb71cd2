#include "support/EchoHttpServer.h"

#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 403:
        return "Forbidden";
    case 429:
        return "Too Many Requests";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

EchoHttpServer::EchoHttpServer(const QHostAddress& address) : m_address(address)
{
    start();
    m_listening.acquire();
}

EchoHttpServer::~EchoHttpServer()
{
    quit();
    wait();
}

QUrl EchoHttpServer::url() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_address.toString());
    url.setPort(port());
    url.setPath(QStringLiteral("/"));
    return url;
}

void EchoHttpServer::setReply(int status, const QByteArray& body, int delayMs)
{
    QMutexLocker lock(&m_mutex);
    m_reply = {status, body, delayMs};
}

QByteArray EchoHttpServer::lastHost() const
{
    QMutexLocker lock(&m_mutex);
    return m_lastHost;
}

EchoHttpServer::Reply EchoHttpServer::reply() const
{
    QMutexLocker lock(&m_mutex);
    return m_reply;
}

void EchoHttpServer::run()
{
    QTcpServer server;
    server.listen(m_address, 0);
    m_port = server.serverPort();
    connect(&server, &QTcpServer::newConnection, &server, [this, server = &server] {
        while (QTcpSocket* socket = server->nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { onRequest(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    m_listening.release();
    exec();
}

void EchoHttpServer::onRequest(QTcpSocket* socket)
{
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
        return;
    socket->setProperty("answered", true);
    for (const QByteArray& line : request.split('\n')) {
        if (line.toLower().startsWith("host:")) {
            QMutexLocker lock(&m_mutex);
            m_lastHost = line.mid(5).trimmed();
        }
    }
    ++m_requests;
    const Reply answer = reply();
    if (answer.delayMs < 0)
        return;
    const QByteArray bytes =
        "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' + reasonPhrase(answer.status) +
        "\r\nContent-Type: text/plain\r\nContent-Length: " +
        QByteArray::number(answer.body.size()) + "\r\nConnection: close\r\n\r\n" + answer.body;
    QTimer::singleShot(answer.delayMs, socket, [socket, bytes] {
        socket->write(bytes);
        socket->disconnectFromHost();
    });
}
