#pragma once

#include <QString>

// The two addresses the service watches, as dotted IPv4 texts; empty while
// unknown.
struct Addresses
{
    QString publicIp;
    QString localIp;

    bool operator==(const Addresses&) const = default;
};
