#pragma once

// A plain FTP client for uploading one file, on Qt's blocking socket calls.
//
// libcurl could upload by FTP too, but it cannot be made to carry out this
// exact exchange: the eight status reports in their order (and "Resolving
// hostname" only for a name), FEAT and SYST while connecting, active mode on
// the control connection's own address, and one time limit for each reply.
// The client is small, and these points are what the page upload needs.

#include "common/FtpPort.h"
#include "common/TimeLimits.h"

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class FtpControlChannel;
class QFile;
class QHostAddress;
class QTcpServer;
class QTcpSocket;

// Plain FTP (no TLS) over IPv4, image type, active mode. Every call blocks and
// needs no event loop, so the client works on a window's thread as on a worker
// thread; use one client on one thread at a time.
//
// Failures are thrown as FtpError subclasses (net/FtpErrors.h); a local file
// that cannot be read is a std::runtime_error.
class FtpClient
{
public:
    using StatusHandler = std::function<void(const QString& statusText)>;

    static constexpr std::chrono::milliseconds DefaultReplyTimeLimit = timelimits::FtpReply;

    FtpClient();
    ~FtpClient(); // closes a connection still open, without status reports
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Host name or IPv4 address, used as given (not trimmed).
    void setHost(const QString& host) { m_host = host; }
    QString host() const { return m_host; }
    void setUsername(const QString& username) { m_username = username; }
    QString username() const { return m_username; }
    void setPassword(const QString& password) { m_password = password; }
    QString password() const { return m_password; }
    void setPort(quint16 port) { m_port = port; }
    quint16 port() const { return m_port; }
    // How long to wait for each reply, for a connection to be made and for the
    // data connection to make progress. Must be positive.
    void setReplyTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }
    std::chrono::milliseconds replyTimeLimit() const { return m_timeLimit; }

    // Receives every status text as it happens: "Resolving hostname x.",
    // "Connecting to a.b.c.d.", "Connected.", "Connection established",
    // "Starting FTP transfer", "Transfer complete" (or "Transfer aborted"),
    // "Disconnecting.", "Disconnected.".
    void setStatusHandler(StatusHandler handler) { m_statusHandler = std::move(handler); }

    // Resolves the host, connects, reads the greeting, logs in, asks FEAT and
    // SYST and sets image type. A connection left from before is dropped first.
    void connectToServer();
    // Stores a local file under remoteFileName (relative to the login folder),
    // replacing a file of that name. Needs a connection.
    void upload(const QString& localFileName, const QString& remoteFileName);
    // Sends QUIT and closes. Never throws: the work is done or has failed by
    // now, and the connection is closed either way. Does nothing (and reports
    // nothing) when no connection was opened.
    void quit();
    bool isConnected() const;

    // The whole session: connect, upload, quit. On a failure the session is
    // ended first (QUIT and close while the connection is open), then the
    // error is thrown on.
    void connectAndUpload(const QString& localFileName, const QString& remoteFileName);

private:
    void report(const QString& statusText);
    QHostAddress resolveIPv4Address();
    void readGreeting();
    void logIn();
    std::unique_ptr<QTcpSocket> openDataConnection(QTcpServer& listener);
    bool sendFile(QFile& file, QTcpSocket& data);
    void closeDataConnection(QTcpSocket& data);
    void dropConnection();

    QString m_host;
    QString m_username;
    QString m_password;
    quint16 m_port = DefaultFtpPort;
    std::chrono::milliseconds m_timeLimit = DefaultReplyTimeLimit;
    StatusHandler m_statusHandler;

    std::unique_ptr<FtpControlChannel> m_control;
    // A connection was opened and not yet ended by quit(): "Disconnecting." and
    // "Disconnected." are still due, even if the server has closed it.
    bool m_sessionOpen = false;
    // Every reply due so far has been read, so the answer to QUIT can be waited
    // for. After a failure the server may still owe replies or be stuck.
    bool m_inSync = false;
};
