#pragma once

#include <QtGlobal>

// A listening TCP socket on 127.0.0.1 for a stand-in of the test's own: on the
// given port, or on a free one when port is 0. Returns the socket and sets
// *boundPort, or returns -1 when the port cannot be had.
int listenOnLoopback(quint16 port, quint16* boundPort);
