// The service's life as systemd and the user see it: saves that reach it
// through pauses, its lines in the journal, and the start-up failures that
// tell their cause and stop the restarts.
#include "support/EchoHttpServer.h"
#include "support/RunningService.h"

#include "common/AlertSettings.h"
#include "service/ServiceOptions.h"
#include "service/base/BackgroundWriter.h"
#include "service/base/ServiceLog.h"
#include "service_link/ServiceCommands.h"
#include "support/TestTime.h"
#include "support/ThrowawayUser.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray recipientsOf(const QList<QByteArray>& getSettingsReply)
{
    return getSettingsReply.value(service::valueLine(Setting::Recipients));
}

// Runs the service once as `prefix` says (nothing: as ourselves) until it ends;
// its exit code (-1 when it did not end in 30 s) and what it wrote.
int runService(const QStringList& prefix, const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment, QString* output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    if (prefix.isEmpty())
        process.start(program, arguments);
    else
        process.start(prefix.first(), prefix.mid(1) << program << arguments);
    if (!process.waitForFinished(testtime::scaled(30000))) {
        process.kill();
        process.waitForFinished(testtime::scaled(30000));
        return -1;
    }
    *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool giveTo(const QString& path, uid_t uid, gid_t gid)
{
    return QProcess::execute(
               QStringLiteral("chown"),
               {QStringLiteral("-R"), QStringLiteral("%1:%2").arg(uid).arg(gid), path}) == 0;
}

// A folder everyone may read, holding a copy of the service: the build folder
// may lie where other users cannot go.
QString sharedServiceCopy(QTemporaryDir& folder)
{
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadOther | QFile::ExeOther);
    const QString copy = folder.filePath(QStringLiteral("velmora-service"));
    return QFile::exists(copy) || QFile::copy(RunningService::program(), copy) ? copy : QString();
}

// A process that has come and gone: its number names nobody now.
qint64 endedProcessId()
{
    QProcess process;
    process.start(QStringLiteral("true"), {});
    process.waitForFinished(testtime::scaled(30000));
    return process.processId() > 0 ? process.processId() : 999999;
}

} // namespace

class TestServiceLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void savesReachAServicePausedAtRandom();
    void backgroundWriterKeepsTheLatest();
    void logLineFormat_data();
    void logLineFormat();
    void linesCarryTheirLevelInTheJournal();
    void readinessIsToldToSystemd();
    void portHeldByAnotherUser_data();
    void portHeldByAnotherUser();
    void lockProblemsStopTheStart_data();
    void lockProblemsStopTheStart();

private:
    EchoHttpServer m_echo;
};

void TestServiceLifecycle::initTestCase()
{
    m_echo.setAddress("203.0.113.7");
}

void TestServiceLifecycle::savesReachAServicePausedAtRandom()
{
    RunningService service;
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    const pid_t pid = pid_t(service.processId());

    // Pauses of 0.5 to 3 s at random moments while the saves go on.
    const quint32 seed = QRandomGenerator::global()->generate();
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    int pauses = 0;
    std::thread pauser([&] {
        QRandomGenerator random(seed);
        std::unique_lock lock(mutex);
        while (!done) {
            wake.wait_for(lock, std::chrono::milliseconds(random.bounded(50, 800)),
                          [&] { return done; });
            if (done)
                break;
            ::kill(pid, SIGSTOP);
            ++pauses;
            wake.wait_for(lock, std::chrono::milliseconds(random.bounded(500, 3001)),
                          [&] { return done; });
            ::kill(pid, SIGCONT);
        }
    });

    QString failure;
    AlertSettings settings;
    for (int i = 0; i < 200 && failure.isEmpty(); ++i) {
        // A window's pace rather than a flood, so that the pauses fall among the saves.
        QThread::msleep(10);
        settings.set(Setting::Recipients,
                     QByteArray("save" + QByteArray::number(i) + "@example.com"));
        try {
            service.save(settings.toSaveList({}));
            // Each save is there before the next is sent: all arrive, in order.
            const QByteArray kept = recipientsOf(service.request(service::GetSettings));
            if (kept != settings.text(Setting::Recipients))
                failure = QStringLiteral("after save %1 the service keeps %2")
                              .arg(i)
                              .arg(QString::fromLatin1(kept));
        } catch (const std::exception& e) {
            failure = QStringLiteral("save %1: %2").arg(i).arg(QString::fromUtf8(e.what()));
        }
    }
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    wake.notify_all();
    pauser.join();
    ::kill(pid, SIGCONT);
    QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("%1 (pauses from seed %2)\n%3")
                                               .arg(failure)
                                               .arg(seed)
                                               .arg(service.output())));
    QVERIFY(pauses > 0);
    QVERIFY2(!service.output().contains(QStringLiteral("refused")), qPrintable(service.output()));

    // The last one is the one stored, also across a restart.
    service.stop();
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QCOMPARE(recipientsOf(service.request(service::GetSettings)),
             QByteArray("save199@example.com"));
}

void TestServiceLifecycle::backgroundWriterKeepsTheLatest()
{
    QStringList written;
    std::mutex mutex;
    std::condition_variable release;
    bool released = false;
    {
        BackgroundWriter writer;
        // The first job holds the thread, as a slow disk would ...
        writer.postLatest([&] {
            std::unique_lock lock(mutex);
            release.wait_for(lock, std::chrono::seconds(10), [&] { return released; });
            written.append(QStringLiteral("first"));
        });
        // ... the posts meanwhile return at once, the last replacing the others.
        for (int i = 0; i < 100; ++i)
            writer.postLatest([&, i] { written.append(QString::number(i)); });
        {
            std::lock_guard lock(mutex);
            released = true;
        }
        release.notify_all();
        writer.finish();
        // After finish, a post runs at once.
        writer.postLatest([&] { written.append(QStringLiteral("late")); });
    }
    QVERIFY(written.size() <= 3);
    QCOMPARE(written.last(), QStringLiteral("late"));
    QCOMPARE(written.at(written.size() - 2), QStringLiteral("99"));
}

void TestServiceLifecycle::logLineFormat_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("journal");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("error in the journal")
        << int(LogLevel::Error) << true << QStringLiteral("cannot write")
        << QByteArray("<3>cannot write\n");
    QTest::newRow("warning in the journal")
        << int(LogLevel::Warning) << true << QStringLiteral("w") << QByteArray("<4>w\n");
    QTest::newRow("notice in the journal")
        << int(LogLevel::Notice) << true << QStringLiteral("stopped") << QByteArray("<5>stopped\n");
    QTest::newRow("info in the journal")
        << int(LogLevel::Info) << true << QStringLiteral("i") << QByteArray("<6>i\n");
    QTest::newRow("elsewhere: the program's name, no level")
        << int(LogLevel::Error) << false << QStringLiteral("cannot write")
        << QByteArray("velmora-service: cannot write\n");
    QTest::newRow("line breaks stay inside the line")
        << int(LogLevel::Warning) << true << QStringLiteral("a\nb") << QByteArray("<4>a b\n");
}

void TestServiceLifecycle::logLineFormat()
{
    QFETCH(int, level);
    QFETCH(bool, journal);
    QFETCH(QString, text);
    QFETCH(QByteArray, line);
    QCOMPARE(formatLogLine(LogLevel(level), text, journal), line);
}

void TestServiceLifecycle::linesCarryTheirLevelInTheJournal()
{
    // As systemd starts it: JOURNAL_STREAM names the stream that stderr is.
    RunningService service;
    const QString shell =
        QStringLiteral("JOURNAL_STREAM=$(stat -L -c %d:%i /proc/self/fd/2) exec \"$0\" \"$@\"");
    QString output;
    const int code =
        runService({QStringLiteral("sh"), QStringLiteral("-c"), shell}, RunningService::program(),
                   {QStringLiteral("--stop")}, service.environment(), &output);
    QCOMPARE(code, exitcode::NotRunning);
    QCOMPARE(output, QStringLiteral("<5>no service was running for this user\n"));

    // A JOURNAL_STREAM that names another stream changes nothing.
    QProcessEnvironment elsewhere = service.environment();
    elsewhere.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("1:2"));
    QCOMPARE(
        runService({}, RunningService::program(), {QStringLiteral("--stop")}, elsewhere, &output),
        exitcode::NotRunning);
    QCOMPARE(output, QStringLiteral("velmora-service: no service was running for this user\n"));
}

// As a Type=notify unit sees it: "READY=1" on the socket NOTIFY_SOCKET names once
// the service listens, "STOPPING=1" when it is told to stop.
void TestServiceLifecycle::readinessIsToldToSystemd()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("notify")));
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    QVERIFY(socket >= 0);
    const auto closeSocket = qScopeGuard([socket] { ::close(socket); });
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    QVERIFY(size_t(path.size()) < sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    QCOMPARE(::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    // The next datagram; empty while none has come. QTRY_* evaluate their
    // condition more than once, so the waiting only peeks.
    const auto waiting = [socket] {
        char byte;
        return ::recv(socket, &byte, 1, MSG_PEEK) >= 0;
    };
    const auto received = [socket] {
        char buffer[256];
        const ssize_t n = ::recv(socket, buffer, sizeof(buffer), 0);
        return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
    };

    RunningService service;
    QProcessEnvironment environment = service.environment();
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromLocal8Bit(path));
    service.setEnvironment(environment);
    QVERIFY2(service.start({m_echo.url()}), qPrintable(service.errorText()));
    QTRY_VERIFY2_WITH_TIMEOUT(waiting(), qPrintable(service.output()), testtime::scaled(10000));
    QCOMPARE(received(), QByteArray("READY=1"));
    // Ready means listening.
    QVERIFY(!service.request(service::UpdateStatus).isEmpty());

    ::kill(pid_t(service.processId()), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(waiting(), testtime::scaled(10000));
    QCOMPARE(received(), QByteArray("STOPPING=1"));
    QTRY_VERIFY_WITH_TIMEOUT(!service.isRunning(), testtime::scaled(10000));
}

void TestServiceLifecycle::portHeldByAnotherUser_data()
{
    QTest::addColumn<bool>("holderIsTheService");
    QTest::addColumn<QString>("address"); // where another user's program listens
    QTest::newRow("another user's service") << true << QString();
    QTest::newRow("another user's program") << false << QStringLiteral("127.0.0.1");
    // An IPv6 socket on every address takes 127.0.0.1's connections too.
    QTest::newRow("another user's program on [::]") << false << QStringLiteral("::");
}

void TestServiceLifecycle::portHeldByAnotherUser()
{
    QFETCH(bool, holderIsTheService);
    QFETCH(QString, address);
    ThrowawayUser other;
    if (!other.isValid())
        QSKIP(qPrintable(QStringLiteral("needs another user: %1").arg(other.errorText())));
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs setpriv (util-linux) to run programs as another user");
    QTemporaryDir programs;
    const QString program = sharedServiceCopy(programs);
    QVERIFY(!program.isEmpty());

    RunningService theirs;
    QVERIFY(giveTo(theirs.folder(), other.uid(), other.gid()));
    QProcess stranger;
    if (holderIsTheService) {
        QVERIFY2(theirs.startAs(other.runAs(), program, {m_echo.url()}),
                 qPrintable(theirs.errorText()));
    } else {
        const QString listener =
            QStringLiteral("import socket, sys\n"
                           "s = socket.socket(socket.AF_INET6 if ':' in '%2' else socket.AF_INET)\n"
                           "if ':' in '%2':\n"
                           "    s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)\n"
                           "s.bind(('%2', %1))\n"
                           "s.listen(4)\n"
                           "print('listening', flush=True)\n"
                           "sys.stdin.read()\n")
                .arg(theirs.port())
                .arg(address);
        stranger.start(other.runAs().first(), other.runAs().mid(1)
                                                  << QStringLiteral("/usr/bin/python3")
                                                  << QStringLiteral("-c") << listener);
        QVERIFY(stranger.waitForStarted(testtime::scaled(10000)));
        QTRY_VERIFY_WITH_TIMEOUT(stranger.canReadLine(), testtime::scaled(10000));
    }

    // Our own service, on the same port.
    RunningService ours;
    QString output;
    const int code = runService(
        {}, RunningService::program(),
        ours.arguments({m_echo.url()}, {QStringLiteral("--port"), QString::number(theirs.port())}),
        ours.environment(), &output);
    theirs.stop();
    stranger.closeWriteChannel();
    stranger.waitForFinished(testtime::scaled(10000));

    QCOMPARE(code, exitcode::PortHeld);
    const QString expected =
        holderIsTheService
            ? QStringLiteral("velmora-service: 127.0.0.1:%1 is held by the Velmora service of "
                             "user %2; only one user per computer can run it\n")
            : QStringLiteral("velmora-service: 127.0.0.1:%1 is held by another program (of user "
                             "%2); the Velmora service needs this port\n");
    QCOMPARE(output, expected.arg(theirs.port()).arg(other.name()));
}

void TestServiceLifecycle::lockProblemsStopTheStart_data()
{
    QTest::addColumn<QString>("plant"); // what is in the runtime folder
    QTest::addColumn<bool>("readOnly"); // the runtime folder
    QTest::addColumn<QString>("message");

    QTest::newRow("stale lock in a read-only folder")
        << QStringLiteral("stale") << true
        << QStringLiteral("was left by process %1, which has ended, and cannot be removed");
    QTest::newRow("lock file is a link")
        << QStringLiteral("link") << false << QStringLiteral("is a symbolic link; remove it");
    QTest::newRow("lock file is a folder")
        << QStringLiteral("folder") << false << QStringLiteral("is not a file; remove it");
    QTest::newRow("fresh read-only folder")
        << QString() << true << QStringLiteral("cannot create the lock file");
}

void TestServiceLifecycle::lockProblemsStopTheStart()
{
    QFETCH(QString, plant);
    QFETCH(bool, readOnly);
    QFETCH(QString, message);
    // Root writes into read-only folders: the service runs as another user then.
    std::optional<ThrowawayUser> other;
    QStringList prefix;
    QTemporaryDir programs;
    QString program = RunningService::program();
    if (::geteuid() == 0) {
        other.emplace();
        QVERIFY2(other->isValid(), qPrintable(other->errorText()));
        prefix = other->runAs();
        program = sharedServiceCopy(programs);
        QVERIFY(!program.isEmpty());
    }

    RunningService service;
    const QString lock = service.runtimeDir() + QStringLiteral("/velmora-service.lock");
    const QString target = service.folder() + QStringLiteral("/target");
    const qint64 ended = endedProcessId();
    if (plant == QLatin1String("stale")) {
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(ended) + "\nvelmora-service\n" +
                   QSysInfo::machineHostName().toUtf8() + '\n');
    } else if (plant == QLatin1String("link")) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me\n");
        file.close();
        QVERIFY(QFile::link(target, lock));
    } else if (plant == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(lock));
    }
    if (other)
        QVERIFY(giveTo(service.folder(), other->uid(), other->gid()));
    if (readOnly)
        QVERIFY(QFile::setPermissions(service.runtimeDir(), QFile::ReadOwner | QFile::ExeOwner));

    QString output;
    const int code = runService(prefix, program, service.arguments({m_echo.url()}),
                                service.environment(), &output);
    QFile::setPermissions(service.runtimeDir(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(code, exitcode::SetupFailed);
    QVERIFY2(output.contains(message.contains(QLatin1String("%1")) ? message.arg(ended) : message),
             qPrintable(output));
    QVERIFY2(!output.contains(QStringLiteral("already running")), qPrintable(output));
    QCOMPARE(output.count(QLatin1Char('\n')), 1);
    if (plant == QLatin1String("link")) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me\n"));
    }
}

QTEST_GUILESS_MAIN(TestServiceLifecycle)
#include "tst_service_lifecycle.moc"
