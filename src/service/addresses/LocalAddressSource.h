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

signals:
    // Interfaces, addresses or routes may have changed: read currentAddress() again.
    void mayHaveChanged();
};
