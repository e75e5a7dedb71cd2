#pragma once

#include <QByteArray>

// Tells systemd how the service is doing ("READY=1", "STOPPING=1"): one datagram
// to the socket that NOTIFY_SOCKET names, as a Type=notify unit expects (the
// sd_notify protocol). Outside such a unit there is no socket and nothing
// happens. Written here rather than taken from libsystemd, which would map six
// more libraries into the resident service for this one datagram.
//
// Returns whether the message was sent.
bool notifySystemd(const QByteArray& state);
