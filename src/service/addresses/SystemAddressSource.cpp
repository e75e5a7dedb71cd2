#include "service/addresses/SystemAddressSource.h"

#include "service/addresses/LocalAddressChoice.h"
#include "service/addresses/RouteMonitor.h"

#include <QFile>
#include <arpa/inet.h>
#include <cerrno>
#include <functional>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QList<localaddress::InterfaceAddress> readInterfaceAddresses()
{
    QList<localaddress::InterfaceAddress> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        if (!::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
            continue;
        localaddress::InterfaceAddress item;
        item.interfaceName = QString::fromLocal8Bit(entry->ifa_name);
        item.address = QString::fromLatin1(text);
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        addresses.append(item);
    }
    ::freeifaddrs(list);
    return addresses;
}

QByteArray readRouteTable()
{
    // Unbuffered, in pieces of a page: a proc file reports no size, and
    // readAll() would make room for 48 kB at every reading for the few hundred
    // bytes a desktop's table holds, leaving the service's heap that much larger.
    QFile file(QStringLiteral("/proc/net/route"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    QByteArray table;
    char piece[4096];
    for (qint64 n; (n = file.read(piece, sizeof piece)) > 0;)
        table.append(piece, n);
    return table;
}

// Asks rtnetlink for all its IPv6 objects of one kind (RTM_GETROUTE,
// RTM_GETADDR) and hands each reply message to `take`. False when the kernel
// could not be asked or did not answer whole.
bool dumpIpv6(quint16 type, const std::function<void(const nlmsghdr&)>& take)
{
    const int socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (socket < 0)
        return false;
    const timeval limit{1, 0}; // the kernel answers at once; this only bounds a surprise
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    struct
    {
        nlmsghdr header;
        rtgenmsg body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.rtgen_family = AF_INET6;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    bool whole = false;
    if (::sendto(socket, &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel),
                 sizeof kernel) == ssize_t(sizeof request)) {
        alignas(nlmsghdr) char buffer[16384];
        for (bool done = false; !done;) {
            const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            int left = int(n);
            for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(message, left);
                 message = NLMSG_NEXT(message, left)) {
                if (message->nlmsg_type == NLMSG_DONE) {
                    done = true;
                    whole = (message->nlmsg_flags & NLM_F_DUMP_INTR) == 0;
                    break;
                }
                if (message->nlmsg_type == NLMSG_ERROR) {
                    done = true;
                    break;
                }
                take(*message);
            }
        }
    }
    ::close(socket);
    return whole;
}

std::optional<QList<localaddress::Ipv6DefaultRoute>> readIpv6DefaultRoutes()
{
    QList<localaddress::Ipv6DefaultRoute> routes;
    const bool whole = dumpIpv6(RTM_GETROUTE, [&routes](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWROUTE)
            return;
        const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(&message));
        if (route->rtm_family != AF_INET6 || route->rtm_dst_len != 0 ||
            route->rtm_type != RTN_UNICAST)
            return;
        quint32 table = route->rtm_table;
        quint32 metric = 0;
        QList<int> interfaces;
        int length = int(RTM_PAYLOAD(&message));
        for (const rtattr* attribute = RTM_RTA(route); RTA_OK(attribute, length);
             attribute = RTA_NEXT(attribute, length)) {
            const int size = int(RTA_PAYLOAD(attribute));
            if (attribute->rta_type == RTA_TABLE && size >= 4)
                table = *static_cast<const quint32*>(RTA_DATA(attribute));
            else if (attribute->rta_type == RTA_PRIORITY && size >= 4)
                metric = *static_cast<const quint32*>(RTA_DATA(attribute));
            else if (attribute->rta_type == RTA_OIF && size >= 4)
                interfaces << *static_cast<const int*>(RTA_DATA(attribute));
            else if (attribute->rta_type == RTA_MULTIPATH) {
                // Several next hops: each one's interface carries the route.
                int hopsLeft = size;
                for (auto* hop = static_cast<const rtnexthop*>(RTA_DATA(attribute));
                     hopsLeft >= int(sizeof(rtnexthop)) && hop->rtnh_len >= sizeof(rtnexthop) &&
                     hop->rtnh_len <= hopsLeft;
                     hopsLeft -= RTNH_ALIGN(hop->rtnh_len), hop = RTNH_NEXT(hop))
                    interfaces << hop->rtnh_ifindex;
            }
        }
        if (table != RT_TABLE_MAIN)
            return;
        for (const int index : std::as_const(interfaces))
            routes.append({index, metric});
    });
    return whole ? std::optional(routes) : std::nullopt;
}

std::optional<QList<localaddress::Ipv6InterfaceAddress>> readIpv6Addresses()
{
    QList<localaddress::Ipv6InterfaceAddress> addresses;
    const bool whole = dumpIpv6(RTM_GETADDR, [&addresses](const nlmsghdr& message) {
        if (message.nlmsg_type != RTM_NEWADDR)
            return;
        const auto* header = static_cast<const ifaddrmsg*>(NLMSG_DATA(&message));
        if (header->ifa_family != AF_INET6)
            return;
        localaddress::Ipv6InterfaceAddress item;
        item.interfaceIndex = int(header->ifa_index);
        item.flags = header->ifa_flags;
        int length = int(IFA_PAYLOAD(&message));
        for (const rtattr* attribute = IFA_RTA(header); RTA_OK(attribute, length);
             attribute = RTA_NEXT(attribute, length)) {
            const int size = int(RTA_PAYLOAD(attribute));
            if (attribute->rta_type == IFA_ADDRESS && size == 16) {
                char text[INET6_ADDRSTRLEN] = {};
                if (::inet_ntop(AF_INET6, RTA_DATA(attribute), text, sizeof text))
                    item.address = QString::fromLatin1(text);
            } else if (attribute->rta_type == IFA_FLAGS && size >= 4) {
                // The full set; the header's byte holds only the first eight.
                item.flags = *static_cast<const quint32*>(RTA_DATA(attribute));
            }
        }
        if (!item.address.isEmpty())
            addresses.append(item);
    });
    return whole ? std::optional(addresses) : std::nullopt;
}

} // namespace

SystemAddressSource::SystemAddressSource(std::chrono::milliseconds rereadInterval, QObject* parent)
    : LocalAddressSource(parent), m_monitor(new RouteMonitor(this))
{
    connect(m_monitor, &RouteMonitor::changed, this, &LocalAddressSource::mayHaveChanged);
    m_reread.setInterval(rereadInterval);
    connect(&m_reread, &QTimer::timeout, this, &LocalAddressSource::mayHaveChanged);
    m_reread.start();
}

QString SystemAddressSource::currentAddress()
{
    return localaddress::choose(localaddress::parseRouteTable(readRouteTable()),
                                readInterfaceAddresses());
}

QString SystemAddressSource::currentIpv6Address()
{
    // A reading cut short (the tables changed while they were read) is no
    // reading: the last known address stays.
    const std::optional<QList<localaddress::Ipv6DefaultRoute>> routes = readIpv6DefaultRoutes();
    const std::optional<QList<localaddress::Ipv6InterfaceAddress>> addresses = readIpv6Addresses();
    if (!routes || !addresses)
        return {};
    return localaddress::chooseIpv6(*routes, *addresses);
}
