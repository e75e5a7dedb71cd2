#include "fakes/FakeService.h"

#include "common/Framing.h"
#include "fakes/LoopbackListener.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Reads until the peer closes or nothing arrives for a while; bounded either way.
void readUntilClosed(int connection, QByteArray& into, int idleMs)
{
    char chunk[65536];
    for (;;) {
        pollfd p{connection, POLLIN, 0};
        if (::poll(&p, 1, idleMs) <= 0)
            return;
        const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0)
            return;
        into.append(chunk, n);
    }
}

FakeService::Exchange parseExchange(const QByteArray& raw)
{
    FakeService::Exchange exchange;
    exchange.raw = raw;
    QByteArray rest = raw;
    try {
        if (auto line = framing::takeLine(rest))
            exchange.command = *line;
        else
            return exchange;
        if (auto count = framing::takeCount(rest)) {
            exchange.hasList = true;
            for (qint32 i = 0; i < *count; ++i) {
                auto line = framing::takeLine(rest);
                if (!line)
                    break;
                exchange.list.append(*line);
            }
        }
    } catch (const framing::FramingError&) {
    }
    return exchange;
}

} // namespace

FakeService::FakeService(quint16 port)
{
    m_listener = listenOnLoopback(port, &m_port);
    if (m_listener < 0) {
        if (port == 0)
            qFatal("the fake service cannot listen on 127.0.0.1");
        return;
    }
    m_thread = std::thread([this] { run(); });
}

FakeService::~FakeService()
{
    stop();
}

void FakeService::stop()
{
    if (m_listener < 0)
        return;
    m_stopping = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

void FakeService::run()
{
    while (!m_stopping) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        serve(connection);
        ::close(connection);
    }
}

void FakeService::serve(int connection)
{
    // The command line first (bounded wait), then the scripted reply.
    QByteArray raw;
    char chunk[4096];
    const QDeadlineTimer deadline(testtime::scaled(5000));
    while (!raw.contains('\n') && !deadline.hasExpired()) {
        pollfd p{connection, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        raw.append(chunk, n);
    }
    if (m_waitsForClientEnd)
        readUntilClosed(connection, raw, testtime::scaled(20000));
    QByteArray command = raw.left(raw.indexOf('\n'));
    if (command.endsWith('\r'))
        command.chop(1);

    QByteArray reply;
    qsizetype index;
    {
        QMutexLocker lock(&m_mutex);
        Exchange started;
        started.command = command;
        index = m_exchanges.size();
        m_exchanges.append(started);
        if (!m_queue.isEmpty())
            reply = m_queue.takeFirst();
        else
            reply = m_replies.value(command);
    }
    qsizetype sent = 0;
    while (sent < reply.size()) {
        const ssize_t n =
            ::send(connection, reply.constData() + sent, size_t(reply.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    ::shutdown(connection, SHUT_WR);
    readUntilClosed(connection, raw, testtime::scaled(2000));

    QMutexLocker lock(&m_mutex);
    Exchange finished = parseExchange(raw);
    finished.complete = true;
    if (index < m_exchanges.size())
        m_exchanges[index] = finished;
    m_recorded.wakeAll();
}

void FakeService::setReply(const QByteArray& command, const QByteArray& reply)
{
    QMutexLocker lock(&m_mutex);
    m_replies.insert(command, reply);
}

void FakeService::queueReply(const QByteArray& reply)
{
    QMutexLocker lock(&m_mutex);
    m_queue.append(reply);
}

QList<FakeService::Exchange> FakeService::exchanges() const
{
    QMutexLocker lock(&m_mutex);
    return m_exchanges;
}

QList<QByteArray> FakeService::commands() const
{
    QList<QByteArray> result;
    for (const Exchange& e : exchanges())
        result.append(e.command);
    return result;
}

void FakeService::clearExchanges()
{
    QMutexLocker lock(&m_mutex);
    m_exchanges.clear();
}

bool FakeService::waitForExchanges(int count, int timeoutMs) const
{
    QMutexLocker lock(&m_mutex);
    QDeadlineTimer deadline(timeoutMs);
    const auto completed = [this] {
        return std::count_if(m_exchanges.cbegin(), m_exchanges.cend(),
                             [](const Exchange& e) { return e.complete; });
    };
    while (completed() < count) {
        if (!m_recorded.wait(&m_mutex, deadline))
            return completed() >= count;
    }
    return true;
}

QByteArray FakeService::countedList(const QList<QByteArray>& lines)
{
    return framing::encodeCountedList(lines);
}
