#pragma once

#include "support/TestTime.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QWaitCondition>
#include <atomic>
#include <thread>

// A stand-in for the service on 127.0.0.1 and a free port, answering from a
// script of raw bytes on a thread of its own (the window's client blocks the
// test's thread). For each connection it reads the command line, sends the reply
// scripted for it and closes its sending side, then reads whatever the client
// sends until the client closes, and records it.
class FakeService
{
public:
    // What one connection received: the command line and, when the client sent
    // one after it, a counted list (parsed leniently; raw keeps every byte).
    struct Exchange
    {
        QByteArray command;
        QList<QByteArray> list;
        bool hasList = false;
        QByteArray raw;
        // False until the client closed: only the command line is known then.
        bool complete = false;
    };

    // Listens on a free port, or on the given one (isListening() tells whether it could).
    explicit FakeService(quint16 port = 0);
    ~FakeService();
    FakeService(const FakeService&) = delete;
    FakeService& operator=(const FakeService&) = delete;

    quint16 port() const { return m_port; }
    bool isListening() const { return m_listener >= 0; }
    // Stops listening: later connections are refused.
    void stop();

    // Reply bytes for a command, used for every connection that sends it.
    void setReply(const QByteArray& command, const QByteArray& reply);
    // Reply bytes for the next connections in order, before the per-command replies.
    void queueReply(const QByteArray& reply);
    // Makes each connection wait for the client's end of input (up to 20 s)
    // before anything is sent or closed, as a service may that reads a
    // request to its end.
    void setWaitsForClientEnd(bool waits) { m_waitsForClientEnd = waits; }

    // Every connection so far; a command is recorded before its reply is sent, so
    // a client that has read its reply always finds its command here.
    QList<Exchange> exchanges() const;
    QList<QByteArray> commands() const;
    void clearExchanges();
    // Waits until at least count connections are complete (the client closed).
    bool waitForExchanges(int count, int timeoutMs = testtime::scaled(5000)) const;

    static QByteArray countedList(const QList<QByteArray>& lines);

private:
    void run();
    void serve(int connection);

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_waitsForClientEnd{false};
    std::thread m_thread;

    mutable QMutex m_mutex;
    mutable QWaitCondition m_recorded;
    QHash<QByteArray, QByteArray> m_replies;
    QList<QByteArray> m_queue;
    QList<Exchange> m_exchanges;
};
