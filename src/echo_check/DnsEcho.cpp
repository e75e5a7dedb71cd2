#include "echo_check/DnsEcho.h"

#include "common/Ipv4Address.h"
#include "common/PublicIpv6Address.h"
#include "echo_check/RouteProbe.h"

#include <ares.h>
#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One c-ares channel for one question, driven to its end by poll().
class Channel
{
public:
    Channel(std::chrono::milliseconds timeLimit)
    {
        ares_options options = {};
        options.flags =
            ARES_FLAG_NOSEARCH | ARES_FLAG_NOALIASES | ARES_FLAG_IGNTC | ARES_FLAG_NOCHECKRESP;
        options.tries = 1;
        options.timeout = int(timeLimit.count());
        m_status = ares_init_options(&m_channel, &options,
                                     ARES_OPT_FLAGS | ARES_OPT_TRIES | ARES_OPT_TIMEOUTMS);
    }
    ~Channel()
    {
        if (m_status == ARES_SUCCESS)
            ares_destroy(m_channel);
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool isOpen() const { return m_status == ARES_SUCCESS; }
    ares_channel get() const { return m_channel; }

    // Runs the channel until `done` or the deadline.
    void run(const bool& done, Clock::time_point deadline)
    {
        while (!done) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                ares_cancel(m_channel); // the callbacks run with ARES_ECANCELLED
                return;
            }
            ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
            const int bits = ares_getsock(m_channel, sockets, ARES_GETSOCK_MAXNUM);
            std::vector<pollfd> polled;
            for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
                short events = 0;
                if (ARES_GETSOCK_READABLE(bits, i))
                    events |= POLLIN;
                if (ARES_GETSOCK_WRITABLE(bits, i))
                    events |= POLLOUT;
                if (events)
                    polled.push_back({sockets[i], events, 0});
            }
            timeval most = {};
            most.tv_sec = left.count() / 1000;
            most.tv_usec = (left.count() % 1000) * 1000;
            timeval wait = {};
            ares_timeout(m_channel, &most, &wait);
            const int waitMs = int(wait.tv_sec * 1000 + (wait.tv_usec + 999) / 1000);
            ::poll(polled.data(), polled.size(), waitMs);
            if (polled.empty()) {
                ares_process_fd(m_channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
                continue;
            }
            for (const pollfd& each : polled) {
                const bool readable = each.revents & (POLLIN | POLLERR | POLLHUP);
                const bool writable = each.revents & POLLOUT;
                ares_process_fd(m_channel, readable ? each.fd : ARES_SOCKET_BAD,
                                writable ? each.fd : ARES_SOCKET_BAD);
            }
        }
    }

private:
    ares_channel m_channel = nullptr;
    int m_status = ARES_ENOTINITIALIZED;
};

QString problemOf(int status, std::chrono::milliseconds timeLimit)
{
    switch (status) {
    case ARES_ENOTFOUND:
        return QStringLiteral("the name does not exist (NXDOMAIN)");
    case ARES_ENODATA:
        return QStringLiteral("no record of that type");
    case ARES_ETIMEOUT:
    case ARES_ECANCELLED:
        return QStringLiteral("no answer within %1 ms").arg(qint64(timeLimit.count()));
    case ARES_EREFUSED:
        return QStringLiteral("the server refused the question");
    case ARES_ESERVFAIL:
        return QStringLiteral("the server failed (SERVFAIL)");
    case ARES_EBADRESP:
    case ARES_EFORMERR:
        return QStringLiteral("the answer is malformed");
    case ARES_ECONNREFUSED:
        return QStringLiteral("the server cannot be reached (connection refused)");
    default:
        return QString::fromUtf8(ares_strerror(status));
    }
}

struct Reply
{
    bool done = false;
    int status = ARES_ECANCELLED;
    std::vector<unsigned char> bytes;
    std::string serverAddress; // for the name lookup
};

// The server's address in the family: itself when it is one, else looked up.
QString serverAddress(const DnsQuestion& question, AddressFamily family, Clock::time_point deadline,
                      std::chrono::milliseconds timeLimit, QString& problem)
{
    const int wanted = family == AddressFamily::Ipv6 ? AF_INET6 : AF_INET;
    const bool isIpv4 = bool(ipv4::parse(question.server.toLatin1()));
    const bool isIpv6 = bool(ipv6::parse(question.server.toLatin1()));
    if (isIpv4 || isIpv6) {
        if (isIpv6 == (wanted == AF_INET6))
            return question.server;
        problem = QStringLiteral("the server %1 is not an %2 address")
                      .arg(question.server,
                           wanted == AF_INET6 ? QStringLiteral("IPv6") : QStringLiteral("IPv4"));
        return {};
    }
    Channel channel(timeLimit);
    if (!channel.isOpen()) {
        problem = QStringLiteral("DNS cannot be used here");
        return {};
    }
    Reply reply;
    ares_addrinfo_hints hints = {};
    hints.ai_family = wanted;
    const QByteArray host = question.server.toLatin1();
    ares_getaddrinfo(
        channel.get(), host.constData(), nullptr, &hints,
        [](void* argument, int status, int, ares_addrinfo* result) {
            auto* into = static_cast<Reply*>(argument);
            into->done = true;
            into->status = status;
            if (status == ARES_SUCCESS && result) {
                for (const ares_addrinfo_node* node = result->nodes; node; node = node->ai_next) {
                    char text[INET6_ADDRSTRLEN] = {};
                    if (node->ai_family == AF_INET)
                        ::inet_ntop(AF_INET,
                                    &reinterpret_cast<const sockaddr_in*>(node->ai_addr)->sin_addr,
                                    text, sizeof text);
                    else if (node->ai_family == AF_INET6)
                        ::inet_ntop(
                            AF_INET6,
                            &reinterpret_cast<const sockaddr_in6*>(node->ai_addr)->sin6_addr, text,
                            sizeof text);
                    else
                        continue;
                    into->serverAddress = text;
                    break;
                }
            }
            ares_freeaddrinfo(result);
        },
        &reply);
    channel.run(reply.done, deadline);
    if (reply.status != ARES_SUCCESS || reply.serverAddress.empty()) {
        problem = QStringLiteral("the server's name %1 cannot be looked up: %2")
                      .arg(question.server, problemOf(reply.status, timeLimit));
        return {};
    }
    return QString::fromStdString(reply.serverAddress);
}

dnsecho::Answer fromA(QByteArrayView bytes)
{
    hostent* host = nullptr;
    ares_addrttl addresses[8];
    int count = 8;
    const int status = ares_parse_a_reply(reinterpret_cast<const unsigned char*>(bytes.data()),
                                          int(bytes.size()), &host, addresses, &count);
    if (host)
        ares_free_hostent(host);
    if (status != ARES_SUCCESS)
        return {{}, problemOf(status, {})};
    if (count != 1)
        return {{}, QStringLiteral("the answer holds %1 addresses, not one").arg(count)};
    const quint32 address = ntohl(addresses[0].ipaddr.s_addr);
    const QString text = ipv4::toText(address);
    if (!ipv4::isPublic(address))
        return {{}, QStringLiteral("the answer %1 is not a public address").arg(text)};
    return {text, {}};
}

dnsecho::Answer fromAaaa(QByteArrayView bytes)
{
    hostent* host = nullptr;
    ares_addr6ttl addresses[8];
    int count = 8;
    const int status = ares_parse_aaaa_reply(reinterpret_cast<const unsigned char*>(bytes.data()),
                                             int(bytes.size()), &host, addresses, &count);
    if (host)
        ares_free_hostent(host);
    if (status != ARES_SUCCESS)
        return {{}, problemOf(status, {})};
    if (count != 1)
        return {{}, QStringLiteral("the answer holds %1 addresses, not one").arg(count)};
    publicipv6::Bytes address{};
    std::memcpy(address.data(), &addresses[0].ip6addr, address.size());
    const QString text = ipv6::toText(address);
    if (!publicipv6::isPublic(address))
        return {{}, QStringLiteral("the answer %1 is not a global IPv6 address").arg(text)};
    return {text, {}};
}

// The public address of the family a text holds; the problem when it holds
// another address; nothing when it is no address of the family.
std::optional<dnsecho::Answer> fromText(const QByteArray& text, AddressFamily family)
{
    if (family == AddressFamily::Ipv6) {
        const std::optional<publicipv6::Bytes> address = ipv6::parse(text);
        if (!address)
            return std::nullopt;
        const QString shown = ipv6::toText(*address);
        if (!publicipv6::isPublic(*address))
            return dnsecho::Answer{
                {}, QStringLiteral("the answer %1 is not a global IPv6 address").arg(shown)};
        return dnsecho::Answer{shown, {}};
    }
    const std::optional<quint32> address = ipv4::parse(text);
    if (!address)
        return std::nullopt;
    if (!ipv4::isPublic(*address))
        return dnsecho::Answer{
            {},
            QStringLiteral("the answer %1 is not a public address").arg(ipv4::toText(*address))};
    return dnsecho::Answer{ipv4::toText(*address), {}};
}

dnsecho::Answer fromTxt(QByteArrayView bytes, AddressFamily family)
{
    ares_txt_reply* records = nullptr;
    const int status = ares_parse_txt_reply(reinterpret_cast<const unsigned char*>(bytes.data()),
                                            int(bytes.size()), &records);
    if (status != ARES_SUCCESS)
        return {{}, problemOf(status, {})};
    dnsecho::Answer answer{{},
                           family == AddressFamily::Ipv6
                               ? QStringLiteral("no text of the answer is an IPv6 address")
                               : QStringLiteral("no text of the answer is an IPv4 address")};
    // Besides the address some servers add other texts (the client subnet).
    for (const ares_txt_reply* record = records; record; record = record->next) {
        const QByteArray text(reinterpret_cast<const char*>(record->txt),
                              qsizetype(record->length));
        const std::optional<dnsecho::Answer> found = fromText(text.trimmed(), family);
        if (!found)
            continue;
        answer = *found;
        if (!answer.address.isEmpty())
            break;
    }
    ares_free_data(records);
    return answer;
}

} // namespace

namespace dnsecho {

Answer ask(const DnsQuestion& question, std::chrono::milliseconds timeLimit, AddressFamily family)
{
    static const int initialised = ares_library_init(ARES_LIB_INIT_ALL);
    if (initialised != ARES_SUCCESS)
        return {{}, QStringLiteral("DNS cannot be used here")};
    if (!question.fits(family))
        return {{},
                family == AddressFamily::Ipv6
                    ? QStringLiteral("the question cannot tell an IPv6 address")
                    : QStringLiteral("the question cannot tell an IPv4 address")};
    const Clock::time_point deadline = Clock::now() + timeLimit;
    QString problem;
    const QString server = serverAddress(question, family, deadline, timeLimit, problem);
    if (server.isEmpty())
        return {{}, problem};
    if (const std::optional<QString> noRoute = routeprobe::noRouteTo(server, question.port))
        return {{}, *noRoute, true};

    Channel channel(timeLimit);
    if (!channel.isOpen())
        return {{}, QStringLiteral("DNS cannot be used here")};
    const QByteArray host =
        family == AddressFamily::Ipv6 ? '[' + server.toLatin1() + ']' : server.toLatin1();
    const QByteArray servers = host + ':' + QByteArray::number(question.port);
    if (ares_set_servers_ports_csv(channel.get(), servers.constData()) != ARES_SUCCESS)
        return {{}, QStringLiteral("the server %1 cannot be used").arg(question.server)};
    Reply reply;
    ares_query(
        channel.get(), question.name.constData(), int(question.dnsClass), int(question.type),
        [](void* argument, int status, int, unsigned char* bytes, int length) {
            auto* into = static_cast<Reply*>(argument);
            into->done = true;
            into->status = status;
            if (bytes && length > 0)
                into->bytes.assign(bytes, bytes + length);
        },
        &reply);
    channel.run(reply.done, deadline);
    if (reply.status != ARES_SUCCESS)
        return {{}, problemOf(reply.status, timeLimit)};
    return read(QByteArrayView(reply.bytes.data(), qsizetype(reply.bytes.size())), question.type,
                family);
}

Answer read(QByteArrayView reply, DnsQuestion::Type type, AddressFamily family)
{
    if (reply.size() > 65535)
        return {{}, QStringLiteral("the answer is malformed")};
    switch (type) {
    case DnsQuestion::Type::A:
        return fromA(reply);
    case DnsQuestion::Type::Aaaa:
        return fromAaaa(reply);
    case DnsQuestion::Type::Txt:
        break;
    }
    return fromTxt(reply, family);
}

} // namespace dnsecho
