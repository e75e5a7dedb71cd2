#pragma once

#include <QString>
#include <QStringList>

// A network namespace of our own, so that a test can add and remove addresses
// and routes without touching the machine's network. Entering it moves the
// calling thread (the main thread) and everything it starts from then on;
// threads made earlier stay outside.
namespace privatenetwork {

// False, with the reason, where the process lacks the rights (CAP_NET_ADMIN
// for a new namespace, or no ip command).
bool enter(QString* why);

// Where the ip command is; empty when it is not installed.
QString ipProgram();

// Runs "ip <arguments>"; false with its output on failure.
bool ip(const QStringList& arguments, QString* error = nullptr);

// Two links that are up: dummy interfaces, or a veth pair where the dummy
// driver is not available.
bool addLinks(const QString& first, const QString& second, QString* error);

// A default route over routeLink, one of a new pair of links (the other one
// holds 198.51.100.10/24): the local address is then the one of routeLink.
bool addDefaultRoute(const QString& routeLink, const QString& otherLink, QString* error);

// Multicast over the loopback link, so that datagrams to the all-hosts group
// (224.0.0.1), as a router announces its external address, loop back.
bool loopbackMulticast(QString* error);

} // namespace privatenetwork
