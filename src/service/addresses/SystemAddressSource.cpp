#include "service/addresses/SystemAddressSource.h"

#include "service/addresses/LocalAddressChoice.h"
#include "service/addresses/RouteMonitor.h"

#include <QFile>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

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
