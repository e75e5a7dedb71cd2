// Where the real velmora-service keeps its files, how it takes over those of
// earlier versions, and how --stop ends it.
#include "support/EchoHttpServer.h"
#include "support/RunningService.h"

#include "common/AlertSettings.h"
#include "servers/ServerProcess.h"
#include "service_link/ServiceCommands.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

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
    void sharedRuntimeFolderIsNotTrustedWithTheLock_data();
    void sharedRuntimeFolderIsNotTrustedWithTheLock();
    void stopEndsTheServiceBeforeItReturns();
    void stopWithoutAService();
    void stopGivesUpOnAServiceThatDoesNotEnd();
    void fifosDoNotHoldTheStart();
    void handEditIsPickedUpWhileRunning();
    void settingsMadeByHandAreMadePrivate();
    void copiesLeftByAKilledServiceAreRemoved();

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
    // (Rewritten with the local address where there is one: a network namespace
    // of loopback alone has none.)
    QVERIFY(readFile(service.stateDir() + QStringLiteral("/addresses"))
                .startsWith("public 203.0.113.7\n"));
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

void TestServiceFiles::sharedRuntimeFolderIsNotTrustedWithTheLock_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("anotherUsers");
    QTest::newRow("open to all, as /tmp") << 01777 << false;
    QTest::newRow("open to the group") << 0770 << false;
    if (::geteuid() == 0)
        QTest::newRow("another user's") << 0700 << true;
}

void TestServiceFiles::sharedRuntimeFolderIsNotTrustedWithTheLock()
{
    QFETCH(int, mode);
    QFETCH(bool, anotherUsers);
    RunningService service;
    // Someone else's process, and a lock there that names it as a live holder.
    QProcess someoneElse;
    someoneElse.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(someoneElse.waitForStarted(testtime::scaled(30000)));
    const QString forged = service.runtimeDir() + QStringLiteral("/velmora-service.lock");
    QVERIFY(writeFile(forged, QByteArray::number(someoneElse.processId()) + "\nsleep\n" +
                                  QSysInfo::machineHostName().toUtf8() + '\n'));
    QCOMPARE(::chmod(QFile::encodeName(service.runtimeDir()).constData(), mode_t(mode)), 0);
    if (anotherUsers)
        QCOMPARE(::chown(QFile::encodeName(service.runtimeDir()).constData(), 65534, 65534), 0);

    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const QString lock = service.stateDir() + QStringLiteral("/service.lock");
    QVERIFY(QFile::exists(lock));
    QTRY_VERIFY2(service.output().contains(
                     QStringLiteral("XDG_RUNTIME_DIR (%1) is not this user's own folder closed "
                                    "to others (mode 0700): the lock is %2 instead")
                         .arg(service.runtimeDir(), lock)),
                 qPrintable(service.output()));
    // --stop ends this service, not the process the forged lock names.
    QString output;
    QCOMPARE(service.runOnce({QStringLiteral("--stop")}, &output), 0);
    QVERIFY2(output.contains(QString::number(service.processId())), qPrintable(output));
    QTRY_VERIFY(!service.isRunning());
    QCOMPARE(someoneElse.state(), QProcess::Running);
    someoneElse.kill();
    someoneElse.waitForFinished(testtime::scaled(30000));
    ::chown(QFile::encodeName(service.runtimeDir()).constData(), ::geteuid(), ::getegid());
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

void TestServiceFiles::settingsMadeByHandAreMadePrivate()
{
    // As the usual umask makes them.
    RunningService service;
    QVERIFY(QFile::setPermissions(service.configDir(), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ReadGroup |
                                                           QFile::ExeGroup | QFile::ReadOther |
                                                           QFile::ExeOther));
    QVERIFY(writeFile(service.settingsFile(), "smtp-password=s3cret\n"));
    QVERIFY(QFile::setPermissions(service.settingsFile(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ReadGroup | QFile::ReadOther));
    QCOMPARE(modeOf(service.settingsFile()), 0644);
    QCOMPARE(modeOf(service.configDir()), 0755);

    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QCOMPARE(modeOf(service.settingsFile()), 0600);
    QCOMPARE(modeOf(service.configDir()), 0700);
    QCOMPARE(service.request(service::GetSettings).value(service::valueLine(Setting::SmtpPassword)),
             QByteArray("s3cret"));
    QTRY_VERIFY(service.output().contains(
        QStringLiteral("the settings file %1 could be read by others (mode 0644); made it "
                       "private (mode 0600)")
            .arg(service.settingsFile())));
    QVERIFY2(service.output().contains(
                 QStringLiteral("made the config folder %1 private (mode 0700; it was 0755)")
                     .arg(service.configDir())),
             qPrintable(service.output()));
}

void TestServiceFiles::copiesLeftByAKilledServiceAreRemoved()
{
    RunningService service;
    QVERIFY(QDir().mkpath(service.stateDir()));
    // What a save killed before its rename leaves; the rest is not the service's.
    const QStringList leftovers{service.configDir() + QStringLiteral("/.settings.conf.x7Gq2Z"),
                                service.stateDir() + QStringLiteral("/.addresses.Ab12cD"),
                                service.stateDir() + QStringLiteral("/.pending-alerts.000000")};
    const QStringList others{service.configDir() + QStringLiteral("/.settings.conf.swp"),
                             service.configDir() + QStringLiteral("/.settings.conf.x7Gq2Z~"),
                             service.configDir() + QStringLiteral("/settings.conf.x7Gq2Z"),
                             service.stateDir() + QStringLiteral("/.velmora.log.Ab12cD")};
    for (const QString& file : leftovers + others)
        QVERIFY(writeFile(file, "smtp-password=s3cret\n"));

    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    for (const QString& file : leftovers)
        QVERIFY2(!QFile::exists(file), qPrintable(file));
    for (const QString& file : others)
        QVERIFY2(QFile::exists(file), qPrintable(file));
    QTRY_VERIFY(service.output().contains(
        QStringLiteral(
            "removed what an interrupted save of %1 left beside it: .settings.conf.x7Gq2Z")
            .arg(service.settingsFile())));
    // The settings themselves are not taken from a copy.
    QCOMPARE(service.request(service::GetSettings).value(service::valueLine(Setting::SmtpPassword)),
             QByteArray());
}

QTEST_GUILESS_MAIN(TestServiceFiles)
#include "tst_service_files.moc"
