#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>

// Blocking IPv4 TCP client for the service link, with the line and counted-list
// framing on top. It has no time limits of its own: a connect waits until the
// system accepts or refuses it and a read waits until data or the end arrives.
// Plain sockets keep each exchange to a handful of system calls; the window makes
// one exchange per pointer movement over its tray icon.
class TcpClient
{
public:
    TcpClient(QString host, quint16 port);
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }

    bool isOpen() const { return m_socket >= 0; }
    void open();  // throws ServiceLinkError
    void close(); // shuts down the sending direction, then closes; never throws

    void WriteLine(const QByteArray& text);
    void WriteCountedList(const QList<QByteArray>& lines);
    QByteArray ReadLine();
    void ReadCountedList(QList<QByteArray>& lines);
    // Waits until the peer has closed its end, but no longer than `limit`,
    // dropping whatever it sends meanwhile; never throws.
    void waitForPeerClose(std::chrono::milliseconds limit);

private:
    void sendAll(const QByteArray& bytes);
    // Waits for more bytes; returns false once the peer has closed.
    bool receiveMore();

    QString m_host;
    quint16 m_port;
    int m_socket = -1;
    QByteArray m_received;
    bool m_peerClosed = false;
};
