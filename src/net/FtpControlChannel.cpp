#include "net/FtpControlChannel.h"

#include "net/FtpErrors.h"
#include "net/FtpTimeLimit.h"

#include <QDeadlineTimer>
#include <cctype>

namespace {

bool startsWithCode(const QByteArray& line)
{
    return line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1])) &&
           std::isdigit(uchar(line[2]));
}

// "ddd text" or "ddd" ends a reply; "ddd-text" opens a multi-line one.
bool isLastLineOf(const QByteArray& line, const QByteArray& code)
{
    return line.startsWith(code) && (line.size() == 3 || line[3] == ' ');
}

QString textAfterCode(const QByteArray& line)
{
    return QString::fromLocal8Bit(line.mid(4));
}

} // namespace

FtpControlChannel::FtpControlChannel(std::chrono::milliseconds timeLimit) : m_timeLimit(timeLimit)
{
}

FtpControlChannel::~FtpControlChannel() = default;

void FtpControlChannel::open(const QHostAddress& address, quint16 port)
{
    close();
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->connectToHost(address, port);
    if (m_socket->waitForConnected(int(m_timeLimit.count())))
        return;
    const bool timedOut = m_socket->error() == QAbstractSocket::SocketTimeoutError;
    const QString reason = m_socket->errorString();
    close();
    if (timedOut)
        throw FtpTimeoutError(
            QStringLiteral("The FTP server %1 did not answer on port %2 within %3 "
                           "seconds.")
                .arg(address.toString())
                .arg(port)
                .arg(secondsText(m_timeLimit)));
    throw FtpConnectionError(QStringLiteral("Cannot connect to the FTP server %1 on port %2: %3.")
                                 .arg(address.toString())
                                 .arg(port)
                                 .arg(reason));
}

bool FtpControlChannel::isOpen() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void FtpControlChannel::close()
{
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket.reset();
}

QHostAddress FtpControlChannel::localAddress() const
{
    return m_socket ? m_socket->localAddress() : QHostAddress();
}

QHostAddress FtpControlChannel::peerAddress() const
{
    return m_socket ? m_socket->peerAddress() : QHostAddress();
}

void FtpControlChannel::send(const QByteArray& command)
{
    if (!isOpen())
        throw FtpConnectionError(QStringLiteral("The connection to the FTP server is closed."));
    m_socket->write(command + "\r\n");
    const QDeadlineTimer deadline(m_timeLimit);
    while (m_socket->bytesToWrite() > 0) {
        if (!isOpen())
            throw FtpConnectionError(
                QStringLiteral("The connection to the FTP server broke off: %1.")
                    .arg(m_socket->errorString()));
        if (deadline.hasExpired())
            throw FtpTimeoutError(
                QStringLiteral("The FTP server did not take a command within %1 seconds.")
                    .arg(secondsText(m_timeLimit)));
        m_socket->waitForBytesWritten(int(deadline.remainingTime()));
    }
}

FtpReply FtpControlChannel::readReply()
{
    // The whole reply, every line of it, within one time limit.
    const QDeadlineTimer deadline(m_timeLimit);
    const QByteArray first = readLine(deadline);
    if (!startsWithCode(first) || (first.size() > 3 && first[3] != ' ' && first[3] != '-'))
        throw FtpError(QStringLiteral("The server did not answer like an FTP server: \"%1\".")
                           .arg(QString::fromLocal8Bit(first)));
    FtpReply reply;
    const QByteArray code = first.left(3);
    reply.code = code.toInt();
    reply.lines << textAfterCode(first);
    if (isLastLineOf(first, code))
        return reply;
    for (;;) {
        const QByteArray line = readLine(deadline);
        if (isLastLineOf(line, code)) {
            reply.lines << textAfterCode(line);
            return reply;
        }
        reply.lines << QString::fromLocal8Bit(line);
    }
}

FtpReply FtpControlChannel::command(const QByteArray& command)
{
    send(command);
    return readReply();
}

QByteArray FtpControlChannel::readLine(const QDeadlineTimer& deadline)
{
    if (!m_socket)
        throw FtpConnectionError(QStringLiteral("The connection to the FTP server is closed."));
    while (!m_socket->canReadLine()) {
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            throw FtpConnectionError(QStringLiteral("The FTP server closed the connection."));
        if (deadline.hasExpired())
            throw FtpTimeoutError(QStringLiteral("No reply from the FTP server within %1 seconds.")
                                      .arg(secondsText(m_timeLimit)));
        m_socket->waitForReadyRead(int(deadline.remainingTime()));
    }
    QByteArray line = m_socket->readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}
