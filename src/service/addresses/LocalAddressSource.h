#pragma once

#include <QObject>
#include <QString>

// Where the local address comes from: the system's interfaces in the service,
// a scripted list in tests.
class LocalAddressSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The IPv4 address of the interface that carries the default route (or the
    // first other one), empty when there is none.
    virtual QString currentAddress() = 0;
    // The stable IPv6 address of the interface that carries the IPv6 default
    // route, empty when there is none (or the source knows no IPv6).
    virtual QString currentIpv6Address() { return {}; }

signals:
    // Interfaces, addresses or routes may have changed: read currentAddress() again.
    void mayHaveChanged();
};
