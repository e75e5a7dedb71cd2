// How soon a change of the public address made on the provider's side (the
// computer sees nothing change) reaches the history log, and what watching for
// it costs while nothing changes. Each part runs in a process of its own, with
// its own network namespace, service and servers, so that the parts run side
// by side and each one's interfaces carry its own service's traffic alone:
//
//   dns       DNS checks at the default interval (60 s): a private dnsmasq
//             answers the two sources' names (dns-sources.txt), the HTTPS echo
//             stays the fallback (echo-urls.txt), as a user's list is made;
//   https     the previous behaviour measured the same way: one HTTPS echo
//             service (openssl s_server) every 300 s;
//   announce  the DNS setup, with the router's NAT-PMP announcement (RFC 6886)
//             sent to 224.0.0.1:5350 as the zone's answer changes;
//   idle      the dns and the https setup left alone: bytes on the namespace's
//             interfaces, extrapolated to an hour, and the service's wake-ups,
//             over a window of whole intervals (at least one).
//
// A change comes at a random moment: a delay drawn uniformly within one
// interval after the line of the change before. Timed from the change (the
// zone's file replaced and dnsmasq told, or the echo's answer replaced) to the
// history line on disk (the log polled every 5 ms).
//
//   bench_public_change [--changes N] [--https-changes N] [--idle-minutes M]
//                       [--parts dns,https,announce,idle] [--quick]
//
// Defaults: 20 changes each, a 30-minute idle window: about 1 h 45 min, the
// https part being the longest (20 x 300 s). --quick: 3 changes (1 for https),
// 3 idle minutes (one interval, 5 minutes, for https): about 8 minutes. Needs root (namespaces, and
// a mount namespace in which the test CA is the only one trusted). Exits 1 when a goal is missed,
// 77 when it cannot run here, 2 on a failure.
#include "BenchNetwork.h"
#include "support/PrivateNetwork.h"

#include "common/SettingTable.h"
#include "servers/DnsServer.h"
#include "servers/FreePort.h"
#include "servers/ServerProcess.h"
#include "servers/SmtpCertificates.h"
#include "service/addresses/RouterAnnouncements.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The settings' default, which the service runs with here.
const std::chrono::seconds
    DnsInterval(QByteArray(settingtable::info(Setting::PublicCheckInterval).defaultValue).toInt());
constexpr auto HttpsInterval = 300s; // the previous behaviour's
// The service takes an announcement that follows another within QuietMs for a
// repetition of it: changes come further apart.
constexpr std::chrono::milliseconds AnnouncementQuiet(RouterAnnouncements::QuietMs + 1000);

// Goals.
constexpr double IntervalP99Goal = 65.0;  // s
constexpr double AnnouncementGoal = 2.0;  // s
constexpr double IdleBytesGoal = 10000.0; // per hour
constexpr double IdleWakeGoal = 2.0;      // per minute
// A wake-up is the service running again after at least this long asleep:
// the steps of one check (the timer, starting the helper, its answer) are one.
constexpr auto WakeQuiet = 1000ms;

const QByteArray FirstAddress = "203.0.113.7";

// Progress and problems go to stderr (the parent shows them as they come);
// results go to stdout as "<key> <value>" lines.
__attribute__((format(printf, 1, 2))) void say(const char* format, ...)
{
    va_list values;
    va_start(values, format);
    std::vfprintf(stderr, format, values);
    va_end(values);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void result(const char* key, double value)
{
    std::printf("%s %.6f\n", key, value);
    std::fflush(stdout);
}

QByteArray addressOf(int change)
{
    // Public addresses all (TEST-NET-3 and -2, as the tests use).
    return (change % 2 == 0 ? "198.51.100." : "203.0.113.") + QByteArray::number(20 + change % 200);
}

QList<QByteArray> status(quint16 port)
{
    try {
        TcpClient client(QStringLiteral("127.0.0.1"), port);
        ServiceTransaction transaction(client);
        return service::request(transaction, service::UpdateStatus);
    } catch (const std::exception&) {
        return {};
    }
}

// A NAT-PMP announcement as RFC 6886 lays it out: version 0, opcode 128,
// result 0, seconds since the mapping table began, the external address.
QByteArray natPmp(const QByteArray& external, quint32 secondsSinceStart)
{
    QByteArray datagram(12, '\0');
    datagram[1] = char(128);
    for (int i = 0; i < 4; ++i)
        datagram[4 + i] = char(secondsSinceStart >> (24 - 8 * i));
    in_addr address = {};
    ::inet_pton(AF_INET, external.constData(), &address);
    std::memcpy(datagram.data() + 8, &address.s_addr, 4);
    return datagram;
}

bool sendToAllHosts(const QByteArray& datagram)
{
    const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(RouterAnnouncements::Port);
    to.sin_addr.s_addr = htonl(INADDR_ALLHOSTS_GROUP);
    const ssize_t sent = ::sendto(socket, datagram.constData(), size_t(datagram.size()), 0,
                                  reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(socket);
    return sent == datagram.size();
}

// The history log's lines so far.
int lineCount(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return int(file.readAll().count('\n'));
}

QByteArray lastLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    return lines.last();
}

// Bytes on the namespace's interfaces so far (/proc/self/net/dev is this
// namespace's; /sys/class/net is the one of the namespace that mounted /sys).
// On the loopback link every byte sent is also received by this computer: it
// is counted once, as on a real link a question is sent once and its answer
// received once. What crosses the link pair is counted on the computer's end
// (the route link), not again on the network's.
struct Traffic
{
    qint64 bytes = 0;
    qint64 frames = 0;
};

// The loopback link counts no link-layer header; an Ethernet link would add
// 14 bytes a frame.
constexpr int EthernetHeader = 14;

Traffic interfaceTraffic()
{
    QFile file(QStringLiteral("/proc/self/net/dev"));
    if (!file.open(QIODevice::ReadOnly))
        return {-1, -1};
    Traffic total;
    // "  name: rx_bytes rx_packets ... (8 fields) tx_bytes tx_packets ..."
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QList<QByteArray> fields = line.mid(colon + 1).simplified().split(' ');
        if (fields.size() < 10)
            continue;
        const QByteArray link = line.left(colon).trimmed();
        if (link == "lo" || link == bench::RouteLink.toLatin1()) {
            total.bytes += fields.at(8).toLongLong();
            total.frames += fields.at(9).toLongLong();
        }
        if (link == bench::RouteLink.toLatin1()) {
            total.bytes += fields.at(0).toLongLong();
            total.frames += fields.at(1).toLongLong();
        }
    }
    return total;
}

// The times the process's threads went to sleep (each ends with a wake-up).
qint64 voluntarySwitches(qint64 pid)
{
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task) + QStringLiteral("/status"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return total;
}

// --- one part, in a child process ------------------------------------------

// The test CA becomes the only one trusted, in a mount namespace of this
// process's own: the helper's TLS library finds the roots in /etc/ssl/certs.
bool trustOnly(const QString& caFile, const QString& folder, QString* why)
{
    QProcess hash;
    hash.start(QStringLiteral("openssl"), {"x509", "-hash", "-noout", "-in", caFile});
    hash.waitForFinished(10000);
    const QString name = QString::fromLatin1(hash.readAllStandardOutput().trimmed()) + ".0";
    if (hash.exitCode() != 0 || !QFile::copy(caFile, folder + QLatin1Char('/') + name)) {
        *why = QStringLiteral("cannot name the CA by its hash");
        return false;
    }
    if (::mount(QFile::encodeName(folder).constData(), "/etc/ssl/certs", nullptr, MS_BIND,
                nullptr) != 0) {
        *why = QStringLiteral("cannot put the test CA in /etc/ssl/certs: %1")
                   .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

// An HTTPS echo service: openssl s_server answering GET /ip with a file that
// holds the whole reply (with a length: the server does not end the
// connection in a way that tells the client the body is over).
class HttpsEcho
{
public:
    bool start(const testservers::SmtpCertificates& certificates, QString* why)
    {
        if (!setAddress(FirstAddress))
            return false;
        m_port = testservers::freePort();
        // s_server serves the files of its working folder.
        const QString old = QDir::currentPath();
        QDir::setCurrent(m_folder.path());
        const bool started = m_server.start(
            QStringLiteral("openssl"),
            {"s_server", "-quiet", "-HTTP", "-accept", QStringLiteral("127.0.0.1:%1").arg(m_port),
             "-cert", certificates.serverCertificate(), "-key", certificates.serverKey()},
            m_port, 10000);
        QDir::setCurrent(old);
        if (!started)
            *why = m_server.errorText();
        return started;
    }
    bool setAddress(const QByteArray& address)
    {
        const QString file = m_folder.filePath(QStringLiteral("ip"));
        const QByteArray body = address + '\n';
        const QByteArray reply = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                                 QByteArray::number(body.size()) + "\r\n\r\n" + body;
        return testfiles::writeFile(file + QStringLiteral(".new"), reply) &&
               ::rename(QFile::encodeName(file + QStringLiteral(".new")).constData(),
                        QFile::encodeName(file).constData()) == 0;
    }
    QString url() const { return QStringLiteral("https://127.0.0.1:%1/ip").arg(m_port); }

private:
    QTemporaryDir m_folder;
    testservers::ServerProcess m_server;
    quint16 m_port = 0;
};

testservers::DnsServer::Addresses zone(const QByteArray& address)
{
    return {{"myip.opendns.test", address}, {"whoami.akamai.test", address}};
}

// Everything one part needs: its network, the servers, and the service.
class Rig
{
public:
    // dns: the DNS sources with the HTTPS echo behind them; otherwise the
    // HTTPS echo alone every 300 s.
    int start(bool dns)
    {
        QString why;
        m_dns = dns;
        if (const int failed = bench::enterPrivateNetwork(&why)) {
            say("%s%s", failed == 77 ? "skipped: " : "", qPrintable(why));
            return failed;
        }
        // The links' IPv6 start-up chatter (router solicitations, repeated with
        // a growing gap) is not the service's traffic: everything here is IPv4.
        for (const char* scope : {"all", "default"}) {
            const QString path =
                QStringLiteral("/proc/sys/net/ipv6/conf/%1/disable_ipv6").arg(QLatin1String(scope));
            if (QFile::exists(path) && !testfiles::writeFile(path, "1\n")) {
                say("cannot turn IPv6 off in the namespace");
                return 2;
            }
        }
        // The router's announcements come to the all-hosts group over loopback.
        if (!privatenetwork::loopbackMulticast(&why)) {
            say("%s", qPrintable(why));
            return 2;
        }
        if (!m_certificates.generate()) {
            say("%s", qPrintable(m_certificates.errorText()));
            return 2;
        }
        if (!trustOnly(m_certificates.caFile(), m_trusted.path(), &why)) {
            say("%s", qPrintable(why));
            return 77;
        }
        if (!m_echo.start(m_certificates, &why)) {
            say("the HTTPS echo did not start: %s", qPrintable(why));
            return 2;
        }
        if (dns && !m_server.start(zone(FirstAddress))) {
            say("%s", qPrintable(m_server.errorText()));
            return 2;
        }

        const QString config = m_folder.path() + QStringLiteral("/config");
        QDir().mkpath(config);
        QStringList arguments{"--port",       QString::number(m_port = testservers::freePort()),
                              "--config-dir", config,
                              "--log-file",   log()};
        if (dns) {
            const QString server = QStringLiteral("dns://127.0.0.1:%1/").arg(m_server.port());
            const bool written =
                testfiles::writeFile(config + QStringLiteral("/dns-sources.txt"),
                                     (server +
                                      QStringLiteral("myip.opendns.test?type=A opendns\n") +
                                      server + QStringLiteral("whoami.akamai.test?type=A akamai\n"))
                                         .toLatin1()) &&
                testfiles::writeFile(config + QStringLiteral("/echo-urls.txt"),
                                     (m_echo.url() + QStringLiteral(" echo\n")).toLatin1());
            if (!written) {
                say("cannot write the lists of sources in %s", qPrintable(config));
                return 2;
            }
        } else {
            arguments << "--echo-url" << m_echo.url() << "--echo-interval"
                      << QString::number(std::chrono::seconds(HttpsInterval).count());
        }
        if (!m_service.start(QStringLiteral(VELMORA_SERVICE_PROGRAM), arguments, m_port, 30000,
                             testfiles::userEnvironment(m_folder.path()))) {
            say("%s", qPrintable(m_service.errorText()));
            return 2;
        }
        const QDeadlineTimer ready(30000);
        while (status(m_port).value(2) != FirstAddress) {
            if (ready.hasExpired()) {
                say("the service did not learn its public address:\n%s",
                    qPrintable(m_service.output()));
                return 2;
            }
            QThread::msleep(20);
        }
        return 0;
    }

    bool setPublicAddress(const QByteArray& address)
    {
        return m_dns ? m_server.setAddresses(zone(address)) : m_echo.setAddress(address);
    }

    QString log() const { return m_folder.path() + QStringLiteral("/velmora.log"); }
    qint64 servicePid() const { return m_service.processId(); }
    QString serviceOutput() { return m_service.output(); }

private:
    bool m_dns = true;
    QTemporaryDir m_folder;
    QTemporaryDir m_trusted;
    testservers::SmtpCertificates m_certificates;
    HttpsEcho m_echo;
    testservers::DnsServer m_server;
    testservers::ServerProcess m_service;
    quint16 m_port = 0;
};

// Changes at random moments; each one's time to the history line.
int runChanges(const QString& part, int changes)
{
    const bool announce = part == QLatin1String("announce");
    const bool dns = part != QLatin1String("https");
    const std::chrono::milliseconds interval =
        dns ? std::chrono::milliseconds(DnsInterval) : HttpsInterval;
    Rig rig;
    if (const int failed = rig.start(dns))
        return failed;
    const QString log = rig.log();
    int lines = lineCount(log);
    QElapsedTimer sinceStart;
    sinceStart.start();
    for (int change = 0; change < changes; ++change) {
        // A random moment within the interval; after an announcement, not
        // within the time the service takes for its repetition.
        const std::chrono::milliseconds least = announce ? AnnouncementQuiet : 0ms;
        const auto delay = std::chrono::milliseconds(
            least.count() +
            qint64(QRandomGenerator::global()->bounded(double((interval - least).count()))));
        QThread::msleep(ulong(delay.count()));

        const QByteArray address = addressOf(change);
        QElapsedTimer took;
        took.start();
        if (!rig.setPublicAddress(address) ||
            (announce && !sendToAllHosts(natPmp(address, quint32(sinceStart.elapsed() / 1000))))) {
            say("cannot change the public address to %s", address.constData());
            return 2;
        }
        const QDeadlineTimer limit(2 * interval + 30s);
        while (lineCount(log) <= lines) {
            if (limit.hasExpired()) {
                say("no history line for %s:\n%s", address.constData(),
                    qPrintable(rig.serviceOutput()));
                return 2;
            }
            QThread::msleep(5);
        }
        const double seconds = double(took.nsecsElapsed()) / 1e9;
        lines = lineCount(log);
        if (!lastLine(log).contains(',' + address + ',')) {
            say("the line is not the change to %s: %s", address.constData(),
                lastLine(log).constData());
            return 2;
        }
        result("change", seconds);
        say("change %d/%d: waited %.1f s, then %.3f s to the line", change + 1, changes,
            double(delay.count()) / 1000.0, seconds);
    }
    return 0;
}

// Nothing changes for `minutes`: the bytes and the wake-ups.
int runIdle(const QString& part, double minutes)
{
    const bool dns = part == QLatin1String("idle-dns");
    const std::chrono::milliseconds interval =
        dns ? std::chrono::milliseconds(DnsInterval) : HttpsInterval;
    Rig rig;
    if (const int failed = rig.start(dns))
        return failed;
    // The service has just made its first check. The window is a whole number
    // of intervals and opens half an interval later, so that it holds as many
    // checks as intervals, none of them at its edges.
    const qint64 intervals = std::max<qint64>(1, qRound64(minutes * 60000.0 / interval.count()));
    QThread::msleep(ulong(interval.count() / 2));
    const qint64 pid = rig.servicePid();
    const int lines = lineCount(rig.log());
    const Traffic before = interfaceTraffic();
    const qint64 switchesBefore = voluntarySwitches(pid);
    qint64 switches = switchesBefore;
    int wakeUps = 0;
    QElapsedTimer window;
    window.start();
    QElapsedTimer asleep; // since the service last ran
    asleep.start();
    // Sampled every 20 ms, which is short beside the sleep that ends a wake-up.
    const qint64 length = intervals * interval.count();
    while (window.elapsed() < length) {
        QThread::msleep(20);
        const qint64 now = voluntarySwitches(pid);
        if (now == switches)
            continue;
        if (asleep.elapsed() >= WakeQuiet.count())
            ++wakeUps;
        switches = now;
        asleep.start();
    }
    const double elapsedMinutes = double(window.elapsed()) / 60000.0;
    const Traffic after = interfaceTraffic();
    const qint64 bytes = after.bytes - before.bytes;
    const qint64 frames = after.frames - before.frames;
    if (lineCount(rig.log()) != lines) {
        say("a change was recorded while nothing changed: %s", lastLine(rig.log()).constData());
        return 2;
    }
    result("bytes_per_hour", double(bytes) * 60.0 / elapsedMinutes);
    result("ethernet_bytes_per_hour",
           double(bytes + EthernetHeader * frames) * 60.0 / elapsedMinutes);
    result("wakeups_per_minute", double(wakeUps) / elapsedMinutes);
    result("switches_per_minute", double(switches - switchesBefore) / elapsedMinutes);
    say("%lld bytes in %lld frames, %d wake-ups, %lld sleeps in %.1f min", bytes, frames, wakeUps,
        switches - switchesBefore, elapsedMinutes);
    return 0;
}

int runPart(const QString& part, int changes, double idleMinutes)
{
    if (part.startsWith(QLatin1String("idle")))
        return runIdle(part, idleMinutes);
    return runChanges(part, changes);
}

// --- the parent: the parts side by side, then the table ----------------------

struct PartRun
{
    QString name;
    QProcess* process = nullptr;
    QByteArray output;
    QByteArray progress;
    QList<double> changes;
    QHash<QByteArray, double> values;
    int exitCode = -1;
};

void collect(PartRun& run)
{
    for (const QByteArray& line : run.output.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() != 2)
            continue;
        if (fields.first() == "change")
            run.changes.append(fields.last().toDouble());
        else
            run.values.insert(fields.first(), fields.last().toDouble());
    }
}

struct Verdicts
{
    bool missed = false;
    const char* operator()(bool met)
    {
        missed = missed || !met;
        return met ? "PASS" : "FAIL";
    }
};

// Prints the table; true when a goal is missed.
bool printTable(const std::map<QString, PartRun*>& runs)
{
    Verdicts verdict;
    std::printf("\n%-50s %9s %9s %9s  %-14s %s\n", "", "p50", "p99", "max", "goal", "");
    const auto timings = [&](const char* title, const QString& part, double goal) {
        const auto found = runs.find(part);
        if (found == runs.end() || found->second->changes.isEmpty())
            return;
        const QList<double>& times = found->second->changes;
        const double p99 = bench::percentile(times, 0.99);
        std::printf("%-50s %8.2fs %8.2fs %8.2fs  ", title, bench::percentile(times, 0.5), p99,
                    bench::percentile(times, 1.0));
        if (goal > 0)
            std::printf("p99 < %-4.0fs    %s\n", goal, verdict(p99 < goal));
        else
            std::printf("%-14s %s\n", "(previous)", "");
    };
    const auto title = [&](const char* what, const QString& part) {
        const auto found = runs.find(part);
        const int count = found == runs.end() ? 0 : int(found->second->changes.size());
        static QByteArray text;
        text = QByteArray(what) + " (" + QByteArray::number(count) + ")";
        return text.constData();
    };
    std::printf("change -> history line (changes):\n");
    timings(title("  DNS every 60 s (default)", QStringLiteral("dns")), QStringLiteral("dns"),
            IntervalP99Goal);
    timings(title("  HTTPS echo every 300 s (previous)", QStringLiteral("https")),
            QStringLiteral("https"), 0);
    timings(title("  DNS, after a NAT-PMP announcement", QStringLiteral("announce")),
            QStringLiteral("announce"), AnnouncementGoal);

    const auto idle = [&](const char* name, const QString& part, const QByteArray& key, double goal,
                          const char* goalText) {
        const auto found = runs.find(part);
        if (found == runs.end() || !found->second->values.contains(key))
            return;
        const double value = found->second->values.value(key);
        std::printf("%-50s %9.1f %9s %9s  %-14s %s\n", name, value, "", "",
                    goal > 0 ? goalText : "", goal > 0 ? verdict(value <= goal) : "");
    };
    std::printf("idle:\n");
    idle("  bytes/hour on the interfaces, DNS", QStringLiteral("idle-dns"), "bytes_per_hour",
         IdleBytesGoal, "< 10 kB/h");
    idle("  bytes/hour on the interfaces, HTTPS (previous)", QStringLiteral("idle-https"),
         "bytes_per_hour", 0, "");
    idle("  the same over Ethernet (14 B a frame), DNS", QStringLiteral("idle-dns"),
         "ethernet_bytes_per_hour", 0, "");
    idle("  the same over Ethernet, HTTPS (previous)", QStringLiteral("idle-https"),
         "ethernet_bytes_per_hour", 0, "");
    idle("  wake-ups/minute, DNS", QStringLiteral("idle-dns"), "wakeups_per_minute", IdleWakeGoal,
         "<= 2 a minute");
    idle("  wake-ups/minute, HTTPS (previous)", QStringLiteral("idle-https"), "wakeups_per_minute",
         0, "");
    idle("  sleeps/minute (all threads), DNS", QStringLiteral("idle-dns"), "switches_per_minute", 0,
         "");
    idle("  sleeps/minute (all threads), HTTPS (previous)", QStringLiteral("idle-https"),
         "switches_per_minute", 0, "");
    std::printf("(a wake-up: the service running again after at least %lld ms asleep; sleeps: "
                "its threads' voluntary context switches)\n",
                qint64(WakeQuiet.count()));
    std::printf("goals: %s\n", verdict.missed ? "MISSED" : "met");
    return verdict.missed;
}

int runAll(const QStringList& parts, const QStringList& childArguments, int longestSeconds)
{
    std::map<QString, PartRun*> runs;
    QList<PartRun*> all;
    int running = 0;
    QEventLoop loop;
    for (const QString& part : parts) {
        auto* run = new PartRun;
        run->name = part;
        run->process = new QProcess;
        all.append(run);
        runs[part] = run;
        QObject::connect(run->process, &QProcess::readyReadStandardError, run->process, [run] {
            run->progress += run->process->readAllStandardError();
            for (qsizetype end; (end = run->progress.indexOf('\n')) >= 0;) {
                std::printf("[%s] %s\n", qPrintable(run->name),
                            run->progress.left(end).constData());
                std::fflush(stdout);
                run->progress.remove(0, end + 1);
            }
        });
        QObject::connect(run->process, &QProcess::finished, run->process,
                         [run, &running, &loop](int code, QProcess::ExitStatus exitStatus) {
                             run->output += run->process->readAllStandardOutput();
                             run->exitCode = exitStatus == QProcess::NormalExit ? code : 2;
                             if (--running == 0)
                                 loop.quit();
                         });
        run->process->start(QCoreApplication::applicationFilePath(),
                            QStringList{"--run-part", part} + childArguments);
        ++running;
    }
    // Bounded: the longest part, and a margin, then everything stops.
    QTimer::singleShot(std::chrono::seconds(longestSeconds), &loop, [&] {
        std::printf("the parts did not end in time; stopping them\n");
        for (PartRun* run : all)
            run->process->kill();
    });
    loop.exec();

    int code = 0;
    for (PartRun* run : all) {
        collect(*run);
        if (run->exitCode != 0) {
            std::printf("[%s] ended with %d\n", qPrintable(run->name), run->exitCode);
            code = code == 0 || code == 77 ? run->exitCode : code;
        }
    }
    const bool missed = printTable(runs);
    for (PartRun* run : all) {
        delete run->process;
        delete run;
    }
    return code != 0 ? code : (missed ? 1 : 0);
}

} // namespace

int main(int argc, char* argv[])
{
    // A part runs in a mount namespace of its own (the CA it trusts); made
    // before any thread is.
    QString part;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--run-part") == 0)
            part = QString::fromLatin1(argv[i + 1]);
    }
    if (!part.isEmpty()) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            std::fprintf(stderr, "skipped: cannot make a mount namespace (%s): needs root\n",
                         std::strerror(errno));
            return 77;
        }
    }
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    int changes = 20;
    int httpsChanges = -1;
    double idleMinutes = 30;
    QStringList parts{"dns", "https", "announce", "idle"};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const QString value = arguments.value(i + 1);
        if (argument == QLatin1String("--quick")) {
            changes = 3;
            httpsChanges = 1;
            idleMinutes = 3;
        } else if (argument == QLatin1String("--changes")) {
            changes = value.toInt(), ++i;
        } else if (argument == QLatin1String("--https-changes")) {
            httpsChanges = value.toInt(), ++i;
        } else if (argument == QLatin1String("--idle-minutes")) {
            idleMinutes = value.toDouble(), ++i;
        } else if (argument == QLatin1String("--parts")) {
            parts = value.split(QLatin1Char(','), Qt::SkipEmptyParts), ++i;
        } else if (argument == QLatin1String("--run-part")) {
            ++i;
        } else {
            std::fprintf(stderr,
                         "usage: bench_public_change [--changes N] [--https-changes N] "
                         "[--idle-minutes M] [--parts dns,https,announce,idle] [--quick]\n");
            return 2;
        }
    }
    if (httpsChanges < 0)
        httpsChanges = changes;
    if (changes < 1 || httpsChanges < 1 || idleMinutes <= 0) {
        std::fprintf(stderr, "the numbers of changes and the idle minutes must be positive\n");
        return 2;
    }
    if (!part.isEmpty())
        return runPart(part, part == QLatin1String("https") ? httpsChanges : changes, idleMinutes);

    QStringList children;
    for (const QString& name : std::as_const(parts)) {
        if (name == QLatin1String("idle"))
            children << "idle-dns"
                     << "idle-https";
        else if (name == QLatin1String("dns") || name == QLatin1String("https") ||
                 name == QLatin1String("announce"))
            children << name;
        else {
            std::fprintf(stderr, "no part named %s (dns, https, announce, idle)\n",
                         qPrintable(name));
            return 2;
        }
    }
    // Each change takes at most two intervals and the start a minute.
    const qint64 longest =
        std::max({qint64(changes) * 2 * DnsInterval.count(),
                  qint64(httpsChanges) * 2 * HttpsInterval.count(), qint64(idleMinutes * 60.0)}) +
        300;
    std::printf("bench_public_change: %d changes (%d for https), %.1f idle minutes; parts: %s\n",
                changes, httpsChanges, idleMinutes, qPrintable(children.join(QLatin1Char(' '))));
    std::fflush(stdout);
    return runAll(children,
                  {"--changes", QString::number(changes), "--https-changes",
                   QString::number(httpsChanges), "--idle-minutes", QString::number(idleMinutes)},
                  int(longest));
}
