// Short exchanges per second against the real velmora-service, made exactly as
// the window makes them (connect, "UpdateStatus", read the list, close), with
// the service's peak memory and its open descriptors before and after.
//
//   bench_service_transactions [connections]      (default 100000)
//
// Goals: at least 10,000 exchanges a second, no descriptor left behind, peak
// resident memory under 15 MB. Exits 1 when a goal is missed.
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

void exchange(quint16 port, const char* command)
{
    TcpClient client(QStringLiteral("127.0.0.1"), port);
    ServiceTransaction transaction(client);
    service::request(transaction, command);
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

    const double cpuBefore = cpuSeconds(pid);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < connections; ++i)
        exchange(port, service::UpdateStatus);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const double serviceCpu = cpuSeconds(pid) - cpuBefore;

    // One more of each of the larger replies, for the peak.
    exchange(port, service::GetSettings);
    exchange(port, service::GetCellularProviders);
    const int descriptorsAfter = openDescriptors(pid);
    const qint64 peakKb = statusValueKb(pid, "VmHWM");
    const qint64 rssAfter = statusValueKb(pid, "VmRSS");

    const double rate = connections / seconds;
    const bool rateOk = rate >= 10000;
    const bool descriptorsOk = descriptorsAfter == descriptorsBefore;
    const bool memoryOk = peakKb >= 0 && peakKb < 15 * 1024;
    std::printf("exchanges: %d UpdateStatus in %.2f s = %.0f per second (goal >= 10000): %s\n",
                connections, seconds, rate, rateOk ? "met" : "MISSED");
    std::printf("mean exchange: %.1f us; the service's processor time per exchange: %.1f us\n",
                seconds * 1e6 / connections, serviceCpu * 1e6 / connections);
    std::printf("open descriptors of the service: %d before, %d after (goal: no leak): %s\n",
                descriptorsBefore, descriptorsAfter, descriptorsOk ? "met" : "MISSED");
    std::printf("resident memory: %lld kB before, %lld kB after, peak (VmHWM) %lld kB "
                "(goal < 15360 kB): %s\n",
                rssBefore, rssAfter, peakKb, memoryOk ? "met" : "MISSED");
    return rateOk && descriptorsOk && memoryOk ? 0 : 1;
}
