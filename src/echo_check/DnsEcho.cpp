#include "echo_check/DnsEcho.h"

#include "service/addresses/Ipv4Address.h"

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

// The server's IPv4 address: itself when it is one, else looked up.
QString serverAddress(const DnsQuestion& question, Clock::time_point deadline,
                      std::chrono::milliseconds timeLimit, QString& problem)
{
    if (ipv4::parse(question.server.toLatin1()))
        return question.server;
    Channel channel(timeLimit);
    if (!channel.isOpen()) {
        problem = QStringLiteral("DNS cannot be used here");
        return {};
    }
    Reply reply;
    ares_addrinfo_hints hints = {};
    hints.ai_family = AF_INET;
    const QByteArray host = question.server.toLatin1();
    ares_getaddrinfo(
        channel.get(), host.constData(), nullptr, &hints,
        [](void* argument, int status, int, ares_addrinfo* result) {
            auto* into = static_cast<Reply*>(argument);
            into->done = true;
            into->status = status;
            if (status == ARES_SUCCESS && result) {
                for (const ares_addrinfo_node* node = result->nodes; node; node = node->ai_next) {
                    if (node->ai_family != AF_INET)
                        continue;
                    char text[INET_ADDRSTRLEN] = {};
                    const auto* address = reinterpret_cast<const sockaddr_in*>(node->ai_addr);
                    ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
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

dnsecho::Answer fromA(const std::vector<unsigned char>& bytes)
{
    hostent* host = nullptr;
    ares_addrttl addresses[8];
    int count = 8;
    const int status =
        ares_parse_a_reply(bytes.data(), int(bytes.size()), &host, addresses, &count);
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

dnsecho::Answer fromTxt(const std::vector<unsigned char>& bytes)
{
    ares_txt_reply* records = nullptr;
    const int status = ares_parse_txt_reply(bytes.data(), int(bytes.size()), &records);
    if (status != ARES_SUCCESS)
        return {{}, problemOf(status, {})};
    dnsecho::Answer answer{{}, QStringLiteral("no text of the answer is an IPv4 address")};
    // Besides the address some servers add other texts (the client subnet).
    for (const ares_txt_reply* record = records; record; record = record->next) {
        const QByteArray text(reinterpret_cast<const char*>(record->txt),
                              qsizetype(record->length));
        const std::optional<quint32> address = ipv4::parse(text.trimmed());
        if (!address)
            continue;
        if (!ipv4::isPublic(*address)) {
            answer.problem =
                QStringLiteral("the answer %1 is not a public address").arg(ipv4::toText(*address));
            continue;
        }
        answer = {ipv4::toText(*address), {}};
        break;
    }
    ares_free_data(records);
    return answer;
}

} // namespace

namespace dnsecho {

Answer ask(const DnsQuestion& question, std::chrono::milliseconds timeLimit)
{
    static const int initialised = ares_library_init(ARES_LIB_INIT_ALL);
    if (initialised != ARES_SUCCESS)
        return {{}, QStringLiteral("DNS cannot be used here")};
    const Clock::time_point deadline = Clock::now() + timeLimit;
    QString problem;
    const QString server = serverAddress(question, deadline, timeLimit, problem);
    if (server.isEmpty())
        return {{}, problem};

    Channel channel(timeLimit);
    if (!channel.isOpen())
        return {{}, QStringLiteral("DNS cannot be used here")};
    const QByteArray servers = server.toLatin1() + ':' + QByteArray::number(question.port);
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
    return question.type == DnsQuestion::Type::A ? fromA(reply.bytes) : fromTxt(reply.bytes);
}

} // namespace dnsecho
