#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <memory>

class SocketOwnerLookup;

// Blocking IPv4 TCP client for the service link, with the line and counted-list
// framing on top. It has no time limits of its own: a connect waits until the
// system accepts or refuses it and a read waits until data or the end arrives.
// Plain sockets keep each exchange to a handful of system calls; the window makes
// one exchange per pointer movement over its tray icon.
//
// The settings it sends hold passwords, and what it reads is shown as the truth:
// it talks only to a listener of its own user (or root). Another user's program
// on the port is treated as no service at all, before a byte goes either way.
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
    void open();  // throws ServiceLinkError, also when the listener is another user's
    void close(); // shuts down the sending direction, then closes; never throws

    // Tells the peer that nothing more will come (the end of the input it reads).
    void finishSending();

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
    bool listenerIsTrusted(int socket);

    QString m_host;
    quint16 m_port;
    int m_socket = -1;
    QByteArray m_received;
    bool m_peerClosed = false;
    std::unique_ptr<SocketOwnerLookup> m_owners;
};
