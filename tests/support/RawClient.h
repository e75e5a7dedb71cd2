#pragma once

#include "support/TestTime.h"

#include <QByteArray>
#include <QList>

// A client that sends any bytes at all, which the window's client cannot, and
// reports what came back before the service closed the connection.
struct RawReply
{
    QByteArray bytes;
    bool closedByService = false; // end of input seen (or reset) within the wait
};

// Connects to 127.0.0.1:port, sends the pieces (pausing pauseMs between them),
// optionally shuts down its sending side, then reads until the service closes
// or waitMs have passed.
RawReply rawExchange(quint16 port, const QList<QByteArray>& pieces, bool shutdownWrite,
                     int waitMs = testtime::scaled(5000), int pauseMs = 0);
