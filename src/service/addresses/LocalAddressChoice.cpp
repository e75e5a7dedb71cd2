#include "service/addresses/LocalAddressChoice.h"

#include "common/Ipv6Address.h"

#include <QtEndian>
#include <algorithm>
#include <linux/if_addr.h>
#include <optional>

namespace localaddress {

namespace {

constexpr uint RouteUp = 0x0001; // RTF_UP

std::optional<quint32> hexField(const QByteArray& field)
{
    bool ok = false;
    const quint32 value = field.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

QList<Route> parseRouteTable(const QByteArray& text)
{
    // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT
    QList<Route> routes;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const QList<QByteArray> fields = lines.at(n).simplified().split(' ');
        if (fields.size() < 8)
            continue;
        const auto destination = hexField(fields.at(1));
        const auto flags = hexField(fields.at(3));
        const auto mask = hexField(fields.at(7));
        bool metricOk = false;
        const uint metric = fields.at(6).toUInt(&metricOk);
        if (!destination || !flags || !mask || !metricOk)
            continue;
        Route route;
        route.interfaceName = QString::fromLocal8Bit(fields.at(0));
        // The kernel prints each address as the native number its network-order bytes make.
        route.destination = qFromBigEndian(*destination);
        route.mask = qFromBigEndian(*mask);
        route.metric = metric;
        route.up = (*flags & RouteUp) != 0;
        routes.append(route);
    }
    return routes;
}

QString choose(const QList<Route>& routes, const QList<InterfaceAddress>& addresses)
{
    const Route* best = nullptr;
    for (const Route& route : routes) {
        if (route.up && route.destination == 0 && route.mask == 0 &&
            (!best || route.metric < best->metric))
            best = &route;
    }
    if (best) {
        for (const InterfaceAddress& address : addresses) {
            if (address.up && address.interfaceName == best->interfaceName)
                return address.address;
        }
    }
    for (const InterfaceAddress& address : addresses) {
        if (address.up && !address.loopback)
            return address.address;
    }
    return {};
}

QString chooseIpv6(const QList<Ipv6DefaultRoute>& routes,
                   const QList<Ipv6InterfaceAddress>& addresses)
{
    // Several default routes of the lowest metric (two links to one router,
    // or multipath) are all the carrying links: the kernel lists them in no
    // fixed order, and the choice must not follow that order.
    std::optional<quint32> lowest;
    for (const Ipv6DefaultRoute& route : routes)
        lowest = std::min(route.metric, lowest.value_or(route.metric));
    QList<int> carrying;
    for (const Ipv6DefaultRoute& route : routes) {
        if (route.metric == lowest)
            carrying << route.interfaceIndex;
    }
    constexpr quint32 Unstable =
        IFA_F_TEMPORARY | IFA_F_DEPRECATED | IFA_F_TENTATIVE | IFA_F_DADFAILED;
    std::optional<ipv6::Bytes> global;
    std::optional<ipv6::Bytes> uniqueLocal;
    for (const Ipv6InterfaceAddress& candidate : addresses) {
        if ((lowest && !carrying.contains(candidate.interfaceIndex)) ||
            (candidate.flags & Unstable) != 0)
            continue;
        const std::optional<ipv6::Bytes> address = ipv6::parse(candidate.address.toLatin1());
        if (!address)
            continue;
        std::optional<ipv6::Bytes>* slot = ipv6::isGlobal(*address)        ? &global
                                           : ipv6::isUniqueLocal(*address) ? &uniqueLocal
                                                                           : nullptr;
        if (slot && (!*slot || *address < **slot))
            *slot = *address;
    }
    if (global)
        return ipv6::toText(*global);
    return uniqueLocal ? ipv6::toText(*uniqueLocal) : QString();
}

} // namespace localaddress
