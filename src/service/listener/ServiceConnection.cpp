#include "service/listener/ServiceConnection.h"

#include "common/ErrorText.h"
#include "service/base/ServiceLog.h"
#include "service/listener/RequestHandler.h"

#include <QSocketNotifier>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

ServiceConnection::ServiceConnection(int descriptor, RequestHandler& handler,
                                     QDeadlineTimer deadline, QObject* parent)
    : QObject(parent), m_descriptor(descriptor), m_handler(handler), m_deadline(deadline)
{
    m_since.start();
}

ServiceConnection::~ServiceConnection()
{
    closeSocket();
}

bool ServiceConnection::serve()
{
    if (isFinished())
        return true;
    if (!m_answered) {
        if (!readRequest()) {
            watch(true, false);
            return false;
        }
        if (isFinished())
            return true;
        m_answered = true;
        if (!prepareAnswer())
            return true;
    }
    if (!sendPending()) {
        watch(false, true);
        return false;
    }
    closeSocket();
    return true;
}

bool ServiceConnection::readRequest()
{
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::recv(m_descriptor, chunk, sizeof chunk, MSG_DONTWAIT);
        RequestReader::Status status;
        if (n > 0) {
            // Only a full chunk can have left bytes behind in the socket.
            m_unreadMayRemain = n == ssize_t(sizeof chunk);
            status = m_reader.add(chunk, n);
        } else if (n == 0) {
            status = m_reader.endOfInput();
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return false;
        } else {
            closeSocket(); // reset by the peer: nobody left to answer
            return true;
        }
        if (status == RequestReader::Status::Rejected) {
            abandon(m_reader.rejection());
            return true;
        }
        if (status == RequestReader::Status::Complete)
            return true;
    }
}

bool ServiceConnection::prepareAnswer()
{
    std::optional<QByteArray> reply;
    try {
        reply = m_handler.handle(m_reader.request());
    } catch (const std::exception& e) {
        abandon(errorText(e));
        return false;
    }
    if (!reply) {
        closeSocket();
        return false;
    }
    m_outgoing = *reply;
    return true;
}

bool ServiceConnection::sendPending()
{
    while (m_sent < m_outgoing.size()) {
        const ssize_t n = ::send(m_descriptor, m_outgoing.constData() + m_sent,
                                 size_t(m_outgoing.size() - m_sent), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            m_sent += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        } else {
            closeSocket(); // the peer went away
            return true;
        }
    }
    return true;
}

void ServiceConnection::abandon(const QString& reason)
{
    if (isFinished())
        return;
    if (!reason.isEmpty())
        logLine(LogLevel::Warning,
                QStringLiteral("closed a connection without an answer: %1").arg(reason));
    closeSocket();
}

void ServiceConnection::closeSocket()
{
    if (m_descriptor < 0)
        return;
    // The notifiers may be the ones calling us: disable them, they go with this object.
    if (m_readNotifier)
        m_readNotifier->setEnabled(false);
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
    // Bytes left unread would make close() reset the connection and could
    // throw away the answer before the window has read it.
    char chunk[4096];
    for (int i = 0; m_unreadMayRemain && i < 16; ++i)
        m_unreadMayRemain = ::recv(m_descriptor, chunk, sizeof chunk, MSG_DONTWAIT) > 0;
    ::close(m_descriptor);
    m_descriptor = -1;
}

void ServiceConnection::watch(bool reading, bool writing)
{
    if (isFinished())
        return;
    if (reading && !m_readNotifier) {
        m_readNotifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Read, this);
        connect(m_readNotifier, &QSocketNotifier::activated, this, &ServiceConnection::onReadable);
    }
    if (m_readNotifier)
        m_readNotifier->setEnabled(reading);
    if (writing && !m_writeNotifier) {
        m_writeNotifier = new QSocketNotifier(m_descriptor, QSocketNotifier::Write, this);
        connect(m_writeNotifier, &QSocketNotifier::activated, this, &ServiceConnection::onWritable);
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(writing);
}

void ServiceConnection::onReadable()
{
    if (serve())
        emit finished(this);
}

void ServiceConnection::onWritable()
{
    if (serve())
        emit finished(this);
}
