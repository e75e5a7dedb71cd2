#pragma once

#include "net/FtpReply.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>
#include <chrono>
#include <memory>

class QDeadlineTimer;

// The control connection of an FTP session: commands out, replies in, each
// reply waited for at most the time limit. Blocking calls only, so it works on
// any thread with or without a running event loop.
class FtpControlChannel
{
public:
    explicit FtpControlChannel(std::chrono::milliseconds timeLimit);
    ~FtpControlChannel();
    FtpControlChannel(const FtpControlChannel&) = delete;
    FtpControlChannel& operator=(const FtpControlChannel&) = delete;

    // Throws FtpConnectionError or FtpTimeoutError.
    void open(const QHostAddress& address, quint16 port);
    bool isOpen() const;
    void close();

    QHostAddress localAddress() const;
    QHostAddress peerAddress() const;

    // Sends one command line; the CR LF is added here.
    void send(const QByteArray& command);
    // Reads one reply, single- or multi-line. Throws FtpTimeoutError,
    // FtpConnectionError (connection closed) or FtpError (not an FTP reply).
    FtpReply readReply();
    FtpReply command(const QByteArray& command);

private:
    QByteArray readLine(const QDeadlineTimer& deadline);

    std::chrono::milliseconds m_timeLimit;
    // Made on open() so that it belongs to the thread that uses it.
    std::unique_ptr<QTcpSocket> m_socket;
};
