#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <chrono>
#include <memory>

class SocketOwnerLookup;

// Blocking IPv4 TCP client for the service link, with the line and counted-list
// framing on top. Each exchange, from the connect to the close, has a time limit:
// a service that accepts and never answers costs the window that long, not its
// life. Plain sockets keep each exchange to a handful of system calls; the window
// makes one exchange per pointer movement over its tray icon.
//
// The settings it sends hold passwords, and what it reads is shown as the truth:
// it talks only to a listener of its own user (or root). Another user's program
// on the port is treated as no service at all, before a byte goes either way.
class TcpClient
{
public:
    // The service answers on the loopback at once. Ten seconds let it through a
    // pause of a few seconds (a busy or stopped process, possibly twice in a row)
    // while bounding how long the window can be held.
    static constexpr std::chrono::milliseconds DefaultTimeLimit{std::chrono::seconds(10)};
    // After an exchange ran out of time, the ones the program makes on its own
    // are not tried for three time limits: a hung service seldom recovers sooner,
    // and each try would hold the window again.
    static constexpr int UnansweredPauseInLimits = 3;

    enum class Attempt
    {
        Always,           // asked for by the user
        UnlessUnanswered, // made on the program's own: fails at once during the pause
    };

    TcpClient(QString host, quint16 port, std::chrono::milliseconds timeLimit = DefaultTimeLimit);
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }

    std::chrono::milliseconds timeLimit() const { return m_timeLimit; }

    bool isOpen() const { return m_socket >= 0; }
    // Starts an exchange: its time limit runs from here. Throws ServiceLinkError,
    // also when the listener is another user's.
    void open(Attempt attempt = Attempt::Always);
    void close(); // shuts down the sending direction, then closes; never throws

    // Tells the peer that nothing more will come (the end of the input it reads).
    void finishSending();

    void WriteLine(const QByteArray& text);
    void WriteCountedList(const QList<QByteArray>& lines);
    QByteArray ReadLine();
    void ReadCountedList(QList<QByteArray>& lines);
    // Waits until the peer has closed its end, dropping whatever it sends
    // meanwhile; throws when the exchange runs out of time first or the peer
    // resets the connection.
    void waitForPeerClose();

private:
    void connectWithinLimit(const void* address, unsigned addressLength);
    void sendAll(const QByteArray& bytes);
    // Waits for more bytes; returns false once the peer has closed.
    bool receiveMore();
    // Waits until the socket is ready for `events`; throws once the exchange's
    // time is up.
    void waitUntilReady(short events);
    bool listenerIsTrusted(int socket);

    QString m_host;
    quint16 m_port;
    std::chrono::milliseconds m_timeLimit;
    int m_socket = -1;
    QByteArray m_received;
    bool m_peerClosed = false;
    QDeadlineTimer m_deadline;
    // Since the last exchange that ran out of time; invalid once the service
    // answered again or was found not running.
    QElapsedTimer m_unanswered;
    std::unique_ptr<SocketOwnerLookup> m_owners;
};
