#pragma once

#include <QtGlobal>

namespace testservers {

// A TCP port on 127.0.0.1 that nothing listens on at the moment of the call.
quint16 freePort();

// True when this process may bind ports below 1024 (root).
bool canBindLowPorts();

} // namespace testservers
