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

// An IPv6 default route (::/0 in the main table) through an interface.
struct Ipv6DefaultRoute
{
    int interfaceIndex = 0;
    quint32 metric = 0;
};

struct Ipv6InterfaceAddress
{
    int interfaceIndex = 0;
    QString address;   // any IPv6 text
    quint32 flags = 0; // IFA_F_* as rtnetlink gives them
};

// The routes of /proc/net/route (a header line, then whitespace-separated
// fields with addresses in hex, as the kernel stores them).
QList<Route> parseRouteTable(const QByteArray& text);

// The first address of the up interface that carries the default route with
// the lowest metric; without one, the first address of any up interface other
// than loopback; without that, empty.
QString choose(const QList<Route>& routes, const QList<InterfaceAddress>& addresses);

// The stable address of the interface that carries the IPv6 default route
// with the lowest metric (of those that do, when several; without one, of
// any interface): not a temporary
// (privacy) address, which rotates without the network changing, nor a
// deprecated, tentative or failed one, nor link-local; a unique local address
// (fc00::/7) only when there is no global one. Of several, the lowest, so that
// the same set always gives the same one. Empty when there is none.
QString chooseIpv6(const QList<Ipv6DefaultRoute>& routes,
                   const QList<Ipv6InterfaceAddress>& addresses);

} // namespace localaddress
