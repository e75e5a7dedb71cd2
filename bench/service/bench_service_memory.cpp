// The resident service's memory beside the floor measured in the same run: a
// minimal Qt Core program waiting in its event loop (qt_core_floor). Both are
// read from /proc/<pid>/smaps_rollup: resident (Rss) and private (the pages
// written by this process alone, Private_Dirty: what it costs the machine on
// top of the libraries every Qt program shares). The service is measured once
// its first public check is over and again after exchanges with the window's
// commands, and must not map Qt Network.
//
//   bench_service_memory [exchanges]      (default 1000)
//
// Goals: resident under 9 MB, private under 600 kB, no Qt Network. Exits 1
// when one is missed.
#include "servers/FreePort.h"
#include "servers/ServerProcess.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

struct Memory
{
    qint64 residentKb = -1;
    qint64 privateKb = -1;
    bool network = false; // Qt Network mapped
    int threads = 0;
};

Memory memoryOf(qint64 pid)
{
    Memory memory;
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly))
        return memory;
    for (const QByteArray& line : rollup.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2)
            continue;
        if (fields[0] == "Rss:")
            memory.residentKb = fields[1].toLongLong();
        else if (fields[0] == "Private_Dirty:")
            memory.privateKb = fields[1].toLongLong();
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Threads:"))
                memory.threads = line.mid(8).trimmed().toInt();
        }
    }
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    memory.network = maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Network");
    return memory;
}

// The mappings with the most private memory, largest first.
QList<QPair<qint64, QByteArray>> largestPrivate(qint64 pid, int count)
{
    QList<QPair<qint64, QByteArray>> mappings;
    QFile smaps(QStringLiteral("/proc/%1/smaps").arg(pid));
    if (!smaps.open(QIODevice::ReadOnly))
        return mappings;
    QByteArray name;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (!fields.isEmpty() && fields[0].contains('-') && !fields[0].endsWith(':'))
            name = fields.size() > 5 ? fields[5] : fields[0] + " (anonymous)";
        else if (fields.size() > 1 && fields[0] == "Private_Dirty:" && fields[1].toLongLong() > 0)
            mappings.append({fields[1].toLongLong(), name});
    }
    std::sort(mappings.begin(), mappings.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    return mappings.mid(0, count);
}

void exchange(quint16 port, const char* command)
{
    TcpClient client(QStringLiteral("127.0.0.1"), port);
    ServiceTransaction transaction(client);
    service::request(transaction, command);
}

void print(const char* name, const Memory& memory)
{
    std::printf("  %-38s resident %6lld kB, private %5lld kB, %d thread(s), Qt Network %s\n", name,
                memory.residentKb, memory.privateKb, memory.threads,
                memory.network ? "mapped" : "not mapped");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 1000;

    QProcess floorProgram;
    floorProgram.start(QStringLiteral(VELMORA_QT_CORE_FLOOR), {});
    if (!floorProgram.waitForReadyRead(10000) || !floorProgram.readAll().startsWith("ready")) {
        std::fprintf(stderr, "the floor program did not start\n");
        return 2;
    }
    const Memory floor = memoryOf(floorProgram.processId());

    QTemporaryDir folder;
    const quint16 port = testservers::freePort();
    const quint16 nobodyListens = testservers::freePort();
    testservers::ServerProcess service;
    if (!service.start(QStringLiteral(VELMORA_SERVICE_PROGRAM),
                       {"--port", QString::number(port), "--config-dir", folder.path() + "/config",
                        "--log-file", folder.path() + "/velmora.log", "--echo-url",
                        QStringLiteral("http://127.0.0.1:%1/").arg(nobodyListens)},
                       port, 30000, testfiles::userEnvironment(folder.path()))) {
        std::fprintf(stderr, "%s\n", qPrintable(service.errorText()));
        return 2;
    }
    QString output;
    const QDeadlineTimer checked(10000);
    while (!output.contains("could not be checked") && !checked.hasExpired()) {
        QThread::msleep(10);
        output += service.output();
    }
    const Memory idle = memoryOf(service.processId());
    const QList<QPair<qint64, QByteArray>> largest = largestPrivate(service.processId(), 6);
    for (int i = 0; i < exchanges; ++i) {
        exchange(port, service::UpdateStatus);
        exchange(port, i % 2 ? service::GetSettings : service::GetCellularProviders);
    }
    const Memory busy = memoryOf(service.processId());
    floorProgram.kill();
    floorProgram.waitForFinished(5000);

    std::printf("memory (smaps_rollup: resident = Rss, private = Private_Dirty):\n");
    print("minimal Qt Core program (floor)", floor);
    print("velmora-service, idle", idle);
    print(qPrintable(QStringLiteral("velmora-service, after %1 exchanges").arg(exchanges * 2)),
          busy);
    std::printf("the service's largest private mappings, idle (kB):");
    for (const auto& [kb, name] : largest)
        std::printf(" %lld %s;", kb, name.constData());
    std::printf("\n");
    const qint64 resident = qMax(idle.residentKb, busy.residentKb);
    const qint64 privateKb = qMax(idle.privateKb, busy.privateKb);
    std::printf("ratio to the floor: resident %.2f, private %.2f\n",
                double(resident) / double(floor.residentKb),
                double(privateKb) / double(floor.privateKb));
    const bool met = resident >= 0 && resident < 9 * 1024 && privateKb >= 0 && privateKb < 600 &&
                     !idle.network && !busy.network;
    std::printf("goal: resident < 9216 kB, private < 600 kB, no Qt Network: %s\n",
                met ? "met" : "MISSED");
    return met ? 0 : 1;
}
