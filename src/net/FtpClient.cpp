#include "net/FtpClient.h"

#include "net/FtpControlChannel.h"
#include "net/FtpErrors.h"
#include "net/FtpTimeLimit.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

constexpr qint64 ChunkSize = 64 * 1024;

// Replies about the data connection itself (425 cannot open, 426 closed) say
// more about routers and firewalls than about the server's storage.
bool isDataConnectionReply(const FtpReply& reply)
{
    return reply.code == 425 || reply.code == 426;
}

[[noreturn]] void throwStoreFailure(const FtpReply& reply)
{
    if (isDataConnectionReply(reply))
        throw FtpDataConnectionError(reply.text().trimmed());
    throw FtpStoreError(reply);
}

// A line break inside a value would end the command early and smuggle in
// another one.
void requireSingleLine(const QString& value, const QString& what)
{
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')))
        throw FtpError(QStringLiteral("The FTP %1 must not contain a line break.").arg(what));
}

QByteArray portArgument(const QHostAddress& address, quint16 port)
{
    const quint32 ip = address.toIPv4Address();
    return QStringLiteral("%1,%2,%3,%4,%5,%6")
        .arg(ip >> 24)
        .arg((ip >> 16) & 0xff)
        .arg((ip >> 8) & 0xff)
        .arg(ip & 0xff)
        .arg(port >> 8)
        .arg(port & 0xff)
        .toLatin1();
}

} // namespace

FtpClient::FtpClient() = default;

FtpClient::~FtpClient()
{
    dropConnection();
}

bool FtpClient::isConnected() const
{
    return m_control && m_control->isOpen();
}

void FtpClient::connectToServer()
{
    dropConnection();
    requireSingleLine(m_username, QStringLiteral("user name"));
    requireSingleLine(m_password, QStringLiteral("password"));

    const QHostAddress address = resolveIPv4Address();
    report(QStringLiteral("Connecting to %1.").arg(address.toString()));
    auto control = std::make_unique<FtpControlChannel>(m_timeLimit);
    control->open(address, m_port);
    m_control = std::move(control);
    m_sessionOpen = true;
    m_inSync = false;
    report(QStringLiteral("Connected."));

    readGreeting();
    logIn();
    // Part of connecting; the upload does not depend on the answers.
    m_control->command("FEAT");
    m_control->command("SYST");
    const FtpReply type = m_control->command("TYPE I");
    if (!type.isPositive())
        throw FtpServerError(type);
    m_inSync = true;
    report(QStringLiteral("Connection established"));
}

QHostAddress FtpClient::resolveIPv4Address()
{
    QHostAddress literal;
    if (literal.setAddress(m_host) && literal.protocol() == QAbstractSocket::IPv4Protocol)
        return literal;

    report(QStringLiteral("Resolving hostname %1.").arg(m_host));
    const QHostInfo info = QHostInfo::fromName(m_host);
    if (info.error() != QHostInfo::NoError)
        throw FtpHostNotFoundError(QStringLiteral("Cannot find the FTP server \"%1\": %2.")
                                       .arg(m_host, info.errorString()));
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    throw FtpHostNotFoundError(
        QStringLiteral("The FTP server \"%1\" has no IPv4 address.").arg(m_host));
}

void FtpClient::readGreeting()
{
    FtpReply greeting = m_control->readReply();
    // 120 "ready in a few minutes" comes before the real greeting.
    if (greeting.isPreliminary())
        greeting = m_control->readReply();
    if (greeting.code != 220)
        throw FtpServerError(greeting);
}

void FtpClient::logIn()
{
    FtpReply reply = m_control->command("USER " + m_username.toLocal8Bit());
    if (reply.code == 331)
        reply = m_control->command("PASS " + m_password.toLocal8Bit());
    // 230 logged in; 202 no login needed. Anything else, including a request
    // for an account (332), is a login this client cannot complete.
    if (reply.code != 230 && reply.code != 202)
        throw FtpLoginError(reply);
}

void FtpClient::upload(const QString& localFileName, const QString& remoteFileName)
{
    if (!isConnected())
        throw FtpConnectionError(QStringLiteral("Not connected to an FTP server."));
    requireSingleLine(remoteFileName, QStringLiteral("file name"));
    m_inSync = false;

    QFile file(localFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            QStringLiteral("Cannot open file \"%1\". %2")
                .arg(QFileInfo(localFileName).absoluteFilePath(), file.errorString())
                .toStdString());

    report(QStringLiteral("Starting FTP transfer"));
    // Active mode: the server connects back to the address it already reaches
    // this computer on.
    QTcpServer listener;
    if (!listener.listen(m_control->localAddress(), 0))
        throw FtpDataConnectionError(
            QStringLiteral("Cannot wait for the FTP data connection on %1: %2.")
                .arg(m_control->localAddress().toString(), listener.errorString()));
    const FtpReply portReply =
        m_control->command("PORT " + portArgument(listener.serverAddress(), listener.serverPort()));
    if (!portReply.isPositive())
        throw FtpDataConnectionError(portReply.text().trimmed());

    const FtpReply storeReply = m_control->command("STOR " + remoteFileName.toLocal8Bit());
    if (!storeReply.isPreliminary())
        throwStoreFailure(storeReply);
    int lastReplyCode = storeReply.code;

    const std::unique_ptr<QTcpSocket> data = openDataConnection(listener);
    listener.close();
    const bool sentWhole = sendFile(file, *data);
    closeDataConnection(*data);

    if (!sentWhole) {
        // The server broke off the transfer; its reply says why.
        const FtpReply reply = m_control->readReply();
        lastReplyCode = reply.code;
        report(lastReplyCode >= 300 ? QStringLiteral("Transfer aborted")
                                    : QStringLiteral("Transfer complete"));
        if (!reply.isPositive())
            throwStoreFailure(reply);
        throw FtpDataConnectionError(
            QStringLiteral("The data connection broke off before the whole file was sent."));
    }
    report(lastReplyCode >= 300 ? QStringLiteral("Transfer aborted")
                                : QStringLiteral("Transfer complete"));
    const FtpReply finalReply = m_control->readReply();
    if (!finalReply.isPositive())
        throwStoreFailure(finalReply);
    m_inSync = true;
}

std::unique_ptr<QTcpSocket> FtpClient::openDataConnection(QTcpServer& listener)
{
    // Only the server may connect: anyone else reaching the port would get
    // the file.
    const QHostAddress server = m_control->peerAddress();
    const QDeadlineTimer deadline(m_timeLimit);
    for (;;) {
        while (!listener.hasPendingConnections()) {
            if (deadline.hasExpired())
                throw FtpDataConnectionError(
                    QStringLiteral("The FTP server did not open the data connection within %1 "
                                   "seconds. A router or firewall may block connections to "
                                   "this computer.")
                        .arg(secondsText(m_timeLimit)));
            listener.waitForNewConnection(int(deadline.remainingTime()));
        }
        std::unique_ptr<QTcpSocket> socket(listener.nextPendingConnection());
        if (!socket)
            continue;
        socket->setParent(nullptr);
        if (socket->peerAddress().isEqual(server, QHostAddress::TolerantConversion))
            return socket;
        socket->abort();
    }
}

bool FtpClient::sendFile(QFile& file, QTcpSocket& data)
{
    for (;;) {
        const QByteArray chunk = file.read(ChunkSize);
        if (chunk.isEmpty())
            break;
        data.write(chunk);
        while (data.bytesToWrite() > 0) {
            if (data.waitForBytesWritten(int(m_timeLimit.count())))
                continue;
            if (data.error() == QAbstractSocket::SocketTimeoutError &&
                data.state() == QAbstractSocket::ConnectedState)
                throw FtpDataConnectionError(
                    QStringLiteral("The upload made no progress for %1 seconds.")
                        .arg(secondsText(m_timeLimit)));
            return false;
        }
    }
    if (file.error() != QFileDevice::NoError) {
        data.abort();
        throw std::runtime_error(
            QStringLiteral("Cannot read file \"%1\". %2")
                .arg(QFileInfo(file.fileName()).absoluteFilePath(), file.errorString())
                .toStdString());
    }
    return data.state() == QAbstractSocket::ConnectedState;
}

void FtpClient::closeDataConnection(QTcpSocket& data)
{
    // The end of the data connection marks the end of the file.
    data.disconnectFromHost();
    if (data.state() != QAbstractSocket::UnconnectedState)
        data.waitForDisconnected(int(m_timeLimit.count()));
    data.abort();
}

void FtpClient::quit()
{
    if (!m_sessionOpen)
        return;
    report(QStringLiteral("Disconnecting."));
    if (isConnected()) {
        try {
            if (m_inSync)
                m_control->command("QUIT");
            else
                m_control->send("QUIT");
        } catch (const FtpError&) {
            // The server's answer to QUIT changes nothing; the connection goes anyway.
        }
    }
    dropConnection();
    report(QStringLiteral("Disconnected."));
}

void FtpClient::connectAndUpload(const QString& localFileName, const QString& remoteFileName)
{
    try {
        connectToServer();
        upload(localFileName, remoteFileName);
    } catch (...) {
        quit();
        throw;
    }
    quit();
}

void FtpClient::report(const QString& statusText)
{
    if (m_statusHandler)
        m_statusHandler(statusText);
}

void FtpClient::dropConnection()
{
    if (m_control)
        m_control->close();
    m_control.reset();
    m_sessionOpen = false;
    m_inSync = false;
}
