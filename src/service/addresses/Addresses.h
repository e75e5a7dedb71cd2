#pragma once

#include <QString>

// The addresses the service watches; each one empty while unknown, absent or
// (for IPv6) not watched. The IPv4 ones are dotted texts, the IPv6 ones in
// their compressed form.
struct Addresses
{
    QString publicIp;
    QString localIp;
    // The full address the internet sees (often a temporary one); it counts
    // as changed only when its /64 network does.
    QString publicIpv6 = {};
    QString localIpv6 = {}; // (initialised: older two-address braces stay warning-free)

    // Exactly the same texts: what is kept and shown.
    bool operator==(const Addresses&) const = default;

    bool hasIpv6() const { return !publicIpv6.isEmpty() || !localIpv6.isEmpty(); }
    // The same addresses without the IPv6 ones, for when IPv6 is not watched.
    Addresses withoutIpv6() const { return {publicIp, localIp, {}, {}}; }

    // Whether going from `previous` to these is a change to record: an address
    // that was known and is now another one. A public IPv6 address counts by
    // its /64 network; an address learned where none was known is no change.
    bool changedFrom(const Addresses& previous) const;
};
