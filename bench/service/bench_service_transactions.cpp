// Short exchanges per second against the real velmora-service, made exactly as
// the window makes them (connect, "UpdateStatus", read the list, close), beside
// the floor measured in the same run with the same client calls: a minimal
// one-thread server that sends the service's own reply without looking at
// anything (bench/MinimalServer.h). The service checks each connection's owner
// as it always does. Rounds alternate between the two to share the machine's
// load. Also the service's peak memory and its open descriptors before and
// after.
//
//   bench_service_transactions [connections]      (default 100000 for each)
//
// Goals: the service within 1.5x of the floor, no descriptor left behind, peak
// resident memory under 15 MB. Exits 1 when a goal is missed.
#include "MinimalServer.h"

#include "common/Framing.h"
#include "servers/FreePort.h"
#include "servers/ServerProcess.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <unistd.h>

namespace {

qint64 statusValueKb(qint64 pid, const QByteArray& name)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// User and system time the process has used, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = file.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / ticks;
}

int openDescriptors(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

qint64 servicePid(quint16 port)
{
    QProcess pgrep;
    pgrep.start(QStringLiteral("pgrep"), {QStringLiteral("-f"), QStringLiteral("--"),
                                          QStringLiteral("velmora-service --port %1 ").arg(port)});
    pgrep.waitForFinished(5000);
    return pgrep.readAll().trimmed().split('\n').first().toLongLong();
}

QList<QByteArray> exchange(quint16 port, const char* command)
{
    TcpClient client(QStringLiteral("127.0.0.1"), port);
    ServiceTransaction transaction(client);
    return service::request(transaction, command);
}

// Exchanges per second, and the seconds they took.
double rate(quint16 port, int count, double* seconds)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        exchange(port, service::UpdateStatus);
    *seconds += double(timer.nsecsElapsed()) / 1e9;
    return count / (double(timer.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int connections = argc > 1 ? std::atoi(argv[1]) : 100000;
    const QString program = QStringLiteral(VELMORA_SERVICE_PROGRAM);

    QTemporaryDir folder;
    const quint16 port = testservers::freePort();
    const quint16 nobodyListens = testservers::freePort();
    testservers::ServerProcess service;
    if (!service.start(program,
                       {"--port", QString::number(port), "--config-dir", folder.path() + "/config",
                        "--log-file", folder.path() + "/velmora.log", "--echo-url",
                        QStringLiteral("http://127.0.0.1:%1/").arg(nobodyListens)},
                       port, 30000, testfiles::userEnvironment(folder.path()))) {
        std::fprintf(stderr, "%s\n", qPrintable(service.errorText()));
        return 2;
    }
    const qint64 pid = servicePid(port);
    if (pid <= 0) {
        std::fprintf(stderr, "cannot find the service's process\n");
        return 2;
    }

    // The first public check runs in a helper process with pipes of its own:
    // count the descriptors once it is over.
    QString output;
    const QDeadlineTimer checked(10000);
    while (!output.contains("could not be checked") && !checked.hasExpired()) {
        QThread::msleep(10);
        output += service.output();
    }
    for (int i = 0; i < 1000; ++i) // warm up
        exchange(port, service::UpdateStatus);
    const int descriptorsBefore = openDescriptors(pid);
    const qint64 rssBefore = statusValueKb(pid, "VmRSS");

    // The floor answers with the service's reply, framed as the service frames it.
    const QList<QByteArray> lines = exchange(port, service::UpdateStatus);
    bench::MinimalServer floorServer(framing::encodeCountedList(lines));
    if (exchange(floorServer.port(), service::UpdateStatus) != lines) {
        std::fprintf(stderr, "the floor's reply differs from the service's\n");
        return 2;
    }
    for (int i = 0; i < 1000; ++i) // warm up
        exchange(floorServer.port(), service::UpdateStatus);

    const double cpuBefore = cpuSeconds(pid);
    constexpr int Rounds = 5;
    double serviceRate = 0;
    double floorRate = 0;
    double seconds = 0;
    double floorSeconds = 0;
    for (int round = 0; round < Rounds; ++round) {
        floorRate += rate(floorServer.port(), connections / Rounds, &floorSeconds) / Rounds;
        serviceRate += rate(port, connections / Rounds, &seconds) / Rounds;
    }
    const double serviceCpu = cpuSeconds(pid) - cpuBefore;

    // One more of each of the larger replies, for the peak.
    exchange(port, service::GetSettings);
    exchange(port, service::GetCellularProviders);
    const int descriptorsAfter = openDescriptors(pid);
    const qint64 peakKb = statusValueKb(pid, "VmHWM");
    const qint64 rssAfter = statusValueKb(pid, "VmRSS");

    const double ratio = floorRate / serviceRate;
    const bool rateOk = ratio <= 1.5;
    const bool descriptorsOk = descriptorsAfter == descriptorsBefore;
    const bool memoryOk = peakKb >= 0 && peakKb < 15 * 1024;
    std::printf("UpdateStatus exchanges, %d each, in %d alternating rounds:\n", connections,
                Rounds);
    std::printf("  minimal one-thread server (floor): %8.0f per second\n", floorRate);
    std::printf("  velmora-service (owner check on):  %8.0f per second\n", serviceRate);
    std::printf("ratio floor / service: %.2f (goal <= 1.5): %s\n", ratio,
                rateOk ? "met" : "MISSED");
    std::printf("mean exchange: %.1f us (floor %.1f us); the service's processor time per "
                "exchange: %.1f us\n",
                seconds * 1e6 / connections, floorSeconds * 1e6 / connections,
                serviceCpu * 1e6 / connections);
    std::printf("open descriptors of the service: %d before, %d after (goal: no leak): %s\n",
                descriptorsBefore, descriptorsAfter, descriptorsOk ? "met" : "MISSED");
    std::printf("resident memory: %lld kB before, %lld kB after, peak (VmHWM) %lld kB "
                "(goal < 15360 kB): %s\n",
                rssBefore, rssAfter, peakKb, memoryOk ? "met" : "MISSED");
    return rateOk && descriptorsOk && memoryOk ? 0 : 1;
}
