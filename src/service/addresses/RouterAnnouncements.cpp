#include "service/addresses/RouterAnnouncements.h"

#include "common/Ipv4Address.h"
#include "service/base/ServiceLog.h"

#include <QSocketNotifier>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr quint8 NatPmpVersion = 0;
constexpr quint8 NatPmpAddressResponse = 128; // opcode 0 answered
constexpr int NatPmpSize = 12;
constexpr quint8 PcpVersion = 2;
constexpr quint8 PcpAnnounceResponse = 0x80; // R bit and opcode 0
constexpr int PcpHeaderSize = 24;

} // namespace

std::optional<QString> RouterAnnouncements::read(const QByteArray& datagram)
{
    const auto byte = [&datagram](int at) { return quint8(datagram.at(at)); };
    if (datagram.size() == NatPmpSize && byte(0) == NatPmpVersion &&
        byte(1) == NatPmpAddressResponse && byte(2) == 0 && byte(3) == 0) {
        const quint32 address =
            quint32(byte(8)) << 24 | quint32(byte(9)) << 16 | quint32(byte(10)) << 8 | byte(11);
        return ipv4::toText(address);
    }
    if (datagram.size() >= PcpHeaderSize && datagram.size() <= 1100 && byte(0) == PcpVersion &&
        byte(1) == PcpAnnounceResponse && byte(3) == 0)
        return QStringLiteral("PCP");
    return std::nullopt;
}

RouterAnnouncements::RouterAnnouncements(QObject* parent) : QObject(parent)
{
    const auto fail = [this](const char* step) {
        logLine(LogLevel::Notice,
                QStringLiteral("cannot listen for the router's announcements on port %1 (%2: %3); "
                               "the public address is checked on the interval alone")
                    .arg(Port)
                    .arg(QLatin1String(step), QString::fromLocal8Bit(std::strerror(errno))));
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
    };
    m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        fail("socket");
        return;
    }
    // Other listeners on this computer (another user's service) may share it.
    const int on = 1;
    ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(Port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fail("bind");
        return;
    }
    ip_mreq group = {};
    group.imr_multiaddr.s_addr = htonl(INADDR_ALLHOSTS_GROUP); // 224.0.0.1
    group.imr_interface.s_addr = htonl(INADDR_ANY);
    // Every host is in the all-hosts group already; a failure here changes nothing.
    ::setsockopt(m_socket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &group, sizeof group);
    m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &RouterAnnouncements::onReadable);
}

RouterAnnouncements::~RouterAnnouncements()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

void RouterAnnouncements::onReadable()
{
    // Every datagram queued is read: a burst is one announcement.
    std::optional<QString> announcement;
    for (int i = 0; i < 64; ++i) {
        QByteArray datagram(1100, Qt::Uninitialized);
        const ssize_t size = ::recv(m_socket, datagram.data(), size_t(datagram.size()), 0);
        if (size < 0)
            break;
        datagram.truncate(qsizetype(size));
        if (const std::optional<QString> what = read(datagram))
            announcement = what;
    }
    if (!announcement)
        return;
    if (m_sinceLast.isValid() && m_sinceLast.elapsed() < QuietMs)
        return;
    m_sinceLast.start();
    emit announced(*announcement);
}
