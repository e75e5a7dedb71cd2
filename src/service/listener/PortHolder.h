#pragma once

#include <QString>
#include <QtGlobal>

class SocketOwnerLookup;

// Who holds the port the service could not listen on, in one line for the
// user: the service of another user of this computer, or some other program.
// Empty when no listener can be found (the port may have been given up meanwhile).
QString describePortHolder(quint16 port, SocketOwnerLookup& owners);
