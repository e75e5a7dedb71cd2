// Where the real velmora-service keeps its files, how it takes over those of
// earlier versions, and how --stop ends it.
#include "EchoHttpServer.h"
#include "RunningService.h"

#include "common/AlertSettings.h"
#include "servers/ServerProcess.h"
#include "service_link/ServiceCommands.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>

using testfiles::modeOf;
using testfiles::readFile;
using testfiles::writeFile;

namespace {

const QByteArray FormerLine("2026-12-09 08:15:02,203.0.113.9,192.168.1.20\r\n");
const QByteArray NewerLine("2026-12-10 14:03:07,203.0.113.8,192.168.1.20\r\n");

QString formerLog(const RunningService& service)
{
    return QFileInfo(service.programCopy()).path() + QStringLiteral("/velmora.log");
}

QByteArray pendingChangeTo(const QByteArray& publicIp)
{
    return "previous 203.0.113.9 -\ncurrent " + publicIp +
           " -\nwhen 2026-12-09T08:15:02\nalerts e-mail\n";
}

// Whether the process has ended; an ended child the test has not collected yet
// is a zombie, and has ended all the same.
bool hasEnded(qint64 pid)
{
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.startsWith("<cannot read"))
        return true;
    const qsizetype nameEnd = stat.lastIndexOf(')');
    return nameEnd > 0 && stat.mid(nameEnd + 2, 1) == "Z";
}

} // namespace

class TestServiceFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void historyAndStateGoToTheStateFolder();
    void formerFilesMoveAtTheFirstStart();
    void formerFilesBesideNewOnesAreKept();
    void noMoveWhileAnEarlierVersionRuns();
    void withoutRuntimeFolderTheLockIsInTheStateFolder();
    void stopEndsTheServiceBeforeItReturns();
    void stopWithoutAService();
    void stopGivesUpOnAServiceThatDoesNotEnd();
    void fifosDoNotHoldTheStart();
    void handEditIsPickedUpWhileRunning();

private:
    EchoHttpServer m_echo;
};

void TestServiceFiles::initTestCase()
{
    QVERIFY2(QFile::exists(RunningService::program()), qPrintable(RunningService::program()));
    m_echo.setAddress("203.0.113.7");
}

void TestServiceFiles::historyAndStateGoToTheStateFolder()
{
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    RunningService service;
    QVERIFY(service.useDefaultLogFile());
    QVERIFY2(
        service.start({echo.url()}, {QStringLiteral("--echo-interval"), QStringLiteral("0.2")}),
        qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));
    echo.setAddress("198.51.100.23");
    QTRY_COMPARE(service.historyLines().size(), 1);
    QVERIFY2(service.historyLines().first().contains(",198.51.100.23,"),
             service.historyLines().first().constData());

    const QString log = service.stateDir() + QStringLiteral("/velmora.log");
    QCOMPARE(service.logFile(), log);
    QVERIFY(service.output().contains(QStringLiteral("history in %1").arg(log)));
    QCOMPARE(modeOf(log), 0600);
    QCOMPARE(modeOf(service.stateDir()), 0700);
    QCOMPARE(modeOf(service.stateHome()), 0700);
    const QString addresses = service.stateDir() + QStringLiteral("/addresses");
    QTRY_VERIFY(readFile(addresses).startsWith("public 198.51.100.23\n"));
    QCOMPARE(modeOf(addresses), 0600);
    // Nothing of it in the config folder or beside the program.
    QCOMPARE(QDir(service.configDir()).entryList(QDir::Files), QStringList());
    QVERIFY(!QFile::exists(formerLog(service)));
}

void TestServiceFiles::formerFilesMoveAtTheFirstStart()
{
    RunningService service;
    QVERIFY(service.useDefaultLogFile());
    QVERIFY(writeFile(formerLog(service), FormerLine));
    QVERIFY(writeFile(service.configDir() + QStringLiteral("/addresses"), "public 203.0.113.9\n"));
    QVERIFY(writeFile(service.configDir() + QStringLiteral("/pending-alerts"),
                      pendingChangeTo("198.51.100.1")));
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));

    // The old log goes on in the state folder; the remembered 203.0.113.9 makes
    // the first check a change, written after the old line.
    QTRY_COMPARE(service.historyLines().size(), 2);
    QCOMPARE(service.historyLines().first() + '\n', FormerLine);
    QVERIFY(service.historyLines().last().contains(",203.0.113.7,"));
    QTRY_VERIFY(
        service.output().contains(QStringLiteral("alerts of the change to 198.51.100.1, ")));
    QVERIFY(!QFile::exists(formerLog(service)));
    QCOMPARE(QDir(service.configDir()).entryList(QDir::Files), QStringList());
    QVERIFY(service.output().contains(QStringLiteral("moved the history log %1 to %2")
                                          .arg(formerLog(service), service.logFile())));

    // Once: started again, it finds nothing to move.
    service.stop();
    const QString before = service.output();
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QVERIFY(!service.output().mid(before.size()).contains(QStringLiteral("moved")));
    QCOMPARE(service.historyLines().size(), 2);
}

void TestServiceFiles::formerFilesBesideNewOnesAreKept()
{
    RunningService service;
    QVERIFY(service.useDefaultLogFile());
    QVERIFY(writeFile(formerLog(service), FormerLine));
    QVERIFY(writeFile(service.configDir() + QStringLiteral("/addresses"), "public 203.0.113.9\n"));
    QVERIFY(writeFile(service.configDir() + QStringLiteral("/pending-alerts"),
                      pendingChangeTo("198.51.100.1")));
    QVERIFY(QDir().mkpath(service.stateDir()));
    QVERIFY(writeFile(service.logFile(), NewerLine));
    // What the echo service says: no change to report.
    QVERIFY(writeFile(service.stateDir() + QStringLiteral("/addresses"), "public 203.0.113.7\n"));
    QVERIFY(writeFile(service.stateDir() + QStringLiteral("/pending-alerts"),
                      pendingChangeTo("198.51.100.2")));
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QTRY_COMPARE(service.request(service::UpdateStatus).value(service::PublicIpLine),
                 QByteArray("203.0.113.7"));

    // Both logs' lines, the newer log's first.
    QCOMPARE(readFile(service.logFile()), NewerLine + FormerLine);
    // The state folder's files stay in use; the old ones are kept beside them.
    QTRY_VERIFY(
        service.output().contains(QStringLiteral("alerts of the change to 198.51.100.2, ")));
    QTRY_COMPARE(readFile(service.stateDir() + QStringLiteral("/addresses")),
                 QByteArray("public 203.0.113.7\nlocal ") +
                     service.request(service::UpdateStatus).value(service::LocalIpLine) + '\n');
    const QDir state(service.stateDir());
    const QStringList addressesAside = state.entryList({QStringLiteral("addresses.former-*")});
    QCOMPARE(addressesAside.size(), 1);
    QCOMPARE(readFile(state.filePath(addressesAside.first())), QByteArray("public 203.0.113.9\n"));
    const QStringList alertsAside = state.entryList({QStringLiteral("pending-alerts.former-*")});
    QCOMPARE(alertsAside.size(), 1);
    QCOMPARE(readFile(state.filePath(alertsAside.first())), pendingChangeTo("198.51.100.1"));
    QVERIFY(!QFile::exists(formerLog(service)));
    QCOMPARE(QDir(service.configDir()).entryList(QDir::Files), QStringList());
}

void TestServiceFiles::noMoveWhileAnEarlierVersionRuns()
{
    RunningService service;
    QVERIFY(writeFile(service.configDir() + QStringLiteral("/addresses"), "public 203.0.113.9\n"));
    // An earlier version's lock, held by a live process (this test).
    QLockFile earlier(service.configDir() + QStringLiteral("/service.lock"));
    QVERIFY(earlier.tryLock(0));

    QString output;
    QCOMPARE(service.runOnce(service.arguments({m_echo.url()}), &output), 3);
    QVERIFY2(output.contains(QStringLiteral("an earlier version is already running for this user "
                                            "(process %1)")
                                 .arg(QCoreApplication::applicationPid())),
             qPrintable(output));
    QCOMPARE(readFile(service.configDir() + QStringLiteral("/addresses")),
             QByteArray("public 203.0.113.9\n"));
    QVERIFY(!QFile::exists(service.stateDir() + QStringLiteral("/addresses")));
    // It let its own lock go.
    QCOMPARE(service.runOnce({QStringLiteral("--is-running")}), 1);
}

void TestServiceFiles::withoutRuntimeFolderTheLockIsInTheStateFolder()
{
    RunningService service;
    QProcessEnvironment env = service.environment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    service.setEnvironment(env);
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const QString lock = service.stateDir() + QStringLiteral("/service.lock");
    QVERIFY(QFile::exists(lock));
    QTRY_VERIFY(service.output().contains(
        QStringLiteral("XDG_RUNTIME_DIR is not set: the lock is %1 instead").arg(lock)));
    QCOMPARE(service.runOnce({QStringLiteral("--is-running")}), 0);
    QCOMPARE(service.runOnce({QStringLiteral("--stop")}), 0);
    QVERIFY(!QFile::exists(lock));
}

void TestServiceFiles::stopEndsTheServiceBeforeItReturns()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const qint64 pid = service.processId();

    QString output;
    QCOMPARE(service.runOnce({QStringLiteral("--stop")}, &output), 0);
    // Gone by the time --stop returns, not a moment later.
    QVERIFY(hasEnded(pid));
    QVERIFY(!testservers::portAcceptsConnections(service.port()));
    QCOMPARE(output,
             QStringLiteral("velmora-service: stopped the service (process %1)\n").arg(pid));
    // It ended as at the end of a session: its own last word.
    QTRY_VERIFY(!service.isRunning());
    QVERIFY(service.output().endsWith(QStringLiteral("velmora-service: stopped\n")));
    QCOMPARE(service.runOnce({QStringLiteral("--is-running")}), 1);
    QCOMPARE(service.runOnce({QStringLiteral("--stop")}), 7);
}

void TestServiceFiles::stopWithoutAService()
{
    const RunningService service; // never started
    QString output;
    QCOMPARE(service.runOnce({QStringLiteral("--stop")}, &output), 7);
    QCOMPARE(output, QStringLiteral("velmora-service: no service was running for this user\n"));
    // Looking left nothing behind.
    QCOMPARE(QDir(service.runtimeDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
    QVERIFY(!QFile::exists(service.stateDir()));
}

void TestServiceFiles::stopGivesUpOnAServiceThatDoesNotEnd()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const qint64 pid = service.processId();
    QCOMPARE(::kill(pid_t(pid), SIGSTOP), 0);

    QString output;
    QCOMPARE(service.runOnce({QStringLiteral("--stop")}, &output), 1);
    QCOMPARE(output,
             QStringLiteral("velmora-service: the service (process %1) has not stopped: still "
                            "running after 10 s\n")
                 .arg(pid));
    QVERIFY(!hasEnded(pid));

    // Asked all the same: it ends as soon as it runs again.
    QCOMPARE(::kill(pid_t(pid), SIGCONT), 0);
    QTRY_VERIFY(!service.isRunning());
    QVERIFY(service.output().endsWith(QStringLiteral("velmora-service: stopped\n")));
}

void TestServiceFiles::fifosDoNotHoldTheStart()
{
    RunningService service;
    QVERIFY(QDir().mkpath(service.stateDir()));
    const QStringList fifos{service.configDir() + QStringLiteral("/carriers.txt"),
                            service.stateDir() + QStringLiteral("/addresses"),
                            service.stateDir() + QStringLiteral("/pending-alerts")};
    for (const QString& fifo : fifos)
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    // The built-in carriers, and each FIFO named.
    QVERIFY(service.request(service::GetCellularProviders).size() > 20);
    for (const QString& fifo : fifos)
        QTRY_VERIFY2(
            service.output().contains(fifo + QStringLiteral(" (it is a FIFO, not a file)")),
            qPrintable(fifo));
}

void TestServiceFiles::handEditIsPickedUpWhileRunning()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    AlertSettings settings;
    settings.set(Setting::SmtpServer, QByteArray("mail.example.com"));
    service.save(settings.toSaveList({}));
    QTRY_VERIFY(readFile(service.settingsFile()).contains("\nsmtp-server=mail.example.com\n"));

    // As an editor saves: a new file renamed over the old one.
    QByteArray text = readFile(service.settingsFile());
    text.replace("\nrecipients=\n", "\nrecipients=carol@example.com\n");
    text.replace("\nuse-ssl=false\n", "\nuse-ssl=perhaps\n");
    QVERIFY(writeFile(service.settingsFile() + QStringLiteral(".edited"), text));
    QCOMPARE(std::rename(QFile::encodeName(service.settingsFile() + QStringLiteral(".edited")),
                         QFile::encodeName(service.settingsFile())),
             0);

    // The stored values follow the computer name and the two addresses.
    const auto stored = [&service](Setting value) {
        return service.request(service::GetSettings).value(4 + settingtable::wireIndex(value));
    };
    QTRY_COMPARE(stored(Setting::Recipients), QByteArray("carol@example.com"));
    QCOMPARE(stored(Setting::SmtpServer), QByteArray("mail.example.com"));
    QCOMPARE(stored(Setting::UseSsl), QByteArray("0"));
    const qsizetype badLine = text.left(text.indexOf("use-ssl=perhaps")).count('\n') + 1;
    QTRY_VERIFY(service.output().contains(
        QStringLiteral("%1, line %2: \"perhaps\" is not true or false; use-ssl keeps its default")
            .arg(service.settingsFile())
            .arg(badLine)));
}

QTEST_GUILESS_MAIN(TestServiceFiles)
#include "tst_service_files.moc"
