#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Choosing the local address from what the interfaces and the routing table
// show, kept apart from reading them so that any layout can be tried.
namespace localaddress {

struct Route
{
    QString interfaceName;
    quint32 destination = 0; // host byte order
    quint32 mask = 0;
    quint32 metric = 0;
    bool up = false;
};

struct InterfaceAddress
{
    QString interfaceName;
    QString address; // dotted IPv4
    bool up = false;
    bool loopback = false;
};

// The routes of /proc/net/route (a header line, then whitespace-separated
// fields with addresses in hex, as the kernel stores them).
QList<Route> parseRouteTable(const QByteArray& text);

// The first address of the up interface that carries the default route with
// the lowest metric; without one, the first address of any up interface other
// than loopback; without that, empty.
QString choose(const QList<Route>& routes, const QList<InterfaceAddress>& addresses);

} // namespace localaddress
