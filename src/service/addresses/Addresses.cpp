#include "service/addresses/Addresses.h"

#include "common/Ipv6Address.h"

bool Addresses::changedFrom(const Addresses& previous) const
{
    // An IPv6 address that goes away (the network lost IPv6) is no change
    // either: only a new one is.
    const auto known = [](const QString& before, const QString& now) {
        return !before.isEmpty() && !now.isEmpty();
    };
    return (!previous.publicIp.isEmpty() && previous.publicIp != publicIp) ||
           (!previous.localIp.isEmpty() && previous.localIp != localIp) ||
           (known(previous.publicIpv6, publicIpv6) &&
            !ipv6::sameNetwork(previous.publicIpv6, publicIpv6)) ||
           (known(previous.localIpv6, localIpv6) && previous.localIpv6 != localIpv6);
}
