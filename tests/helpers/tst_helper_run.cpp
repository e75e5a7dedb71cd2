#include "helpers/HelperRun.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <pthread.h>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(HelperEnd)

// HelperRun with small real programs (sh, cat, grep) in the helper's place,
// both ways: waited for, and on the event loop.
class TestHelperRun : public QObject
{
    Q_OBJECT

private slots:
    void jobReachesTheHelper_data();
    void jobReachesTheHelper();
    void helperThatHangsIsKilledAtTheLimit_data();
    void helperThatHangsIsKilledAtTheLimit();
    void howItEnded_data();
    void howItEnded();
    void helperStartsWithSignalsAtTheirDefaults_data();
    void helperStartsWithSignalsAtTheirDefaults();
    void argumentsReachTheHelper();
    void standardError_data();
    void standardError();
    void runStillGoingEndsWithItsOwner();
};

namespace {

// Runs the helper as `waited` says: with HelperRun::run, or started and
// followed on the event loop.
HelperEnd runHelper(const HelperRun::Setup& setup, bool waited)
{
    if (waited)
        return HelperRun::run(setup);
    HelperRun run(setup);
    QSignalSpy ended(&run, &HelperRun::ended);
    run.start();
    if (!ended.wait(60000) || ended.size() != 1)
        return {};
    return qvariant_cast<HelperEnd>(ended.first().first());
}

HelperRun::Setup shell(const QString& script, std::chrono::milliseconds limit = 30s)
{
    return {QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, {}, limit};
}

void addWays()
{
    QTest::addColumn<bool>("waited");
    QTest::newRow("waited for") << true;
    QTest::newRow("on the event loop") << false;
}

bool processIsGone(pid_t pid)
{
    return ::kill(pid, 0) == -1 && errno == ESRCH;
}

} // namespace

void TestHelperRun::jobReachesTheHelper_data()
{
    addWays();
}

// Larger than a pipe holds, with every byte value: the job is written while the
// helper reads it, and its standard input ends after it.
void TestHelperRun::jobReachesTheHelper()
{
    QFETCH(bool, waited);
    QByteArray job;
    for (int i = 0; i < 300000; ++i)
        job.append(char(i % 256));
    HelperRun::Setup setup{QStringLiteral("cat"), {}, job, 30s};
    const HelperEnd end = runHelper(setup, waited);
    QCOMPARE(end.kind, HelperEnd::Exited);
    QCOMPARE(end.exitCode, 0);
    QVERIFY(end.succeeded());
    QCOMPARE(end.report.size(), job.size());
    QVERIFY(end.report == job);
}

void TestHelperRun::helperThatHangsIsKilledAtTheLimit_data()
{
    addWays();
}

void TestHelperRun::helperThatHangsIsKilledAtTheLimit()
{
    QFETCH(bool, waited);
    constexpr std::chrono::milliseconds Limit = 700ms;
    QElapsedTimer clock;
    clock.start();
    // It says who it is first, then hangs far beyond the limit.
    const HelperEnd end =
        runHelper(shell(QStringLiteral("echo $$; exec sleep 120"), Limit), waited);
    const qint64 took = clock.elapsed();
    QCOMPARE(end.kind, HelperEnd::TooLong);
    QVERIFY(!end.succeeded());
    QVERIFY2(took >= Limit.count(), qPrintable(QString::number(took)));
    QVERIFY2(took < 60000, qPrintable(QString::number(took)));
    // What it said before the limit is kept, and the process is gone.
    bool isNumber = false;
    const pid_t pid = end.report.trimmed().toInt(&isNumber);
    QVERIFY2(isNumber && pid > 0, end.report.constData());
    QVERIFY(processIsGone(pid));
}

void TestHelperRun::howItEnded_data()
{
    QTest::addColumn<bool>("waited");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("report");
    const QString sh = QStringLiteral("/bin/sh");
    const QString missing = QStringLiteral("/nonexistent/velmora-helper");
    for (const bool waited : {true, false}) {
        const char* way = waited ? "waited for" : "on the event loop";
        QTest::addRow("done, %s", way) << waited << sh << QStringLiteral("echo done")
                                       << int(HelperEnd::Exited) << 0 << QByteArray("done\n");
        QTest::addRow("failed with a reason, %s", way)
            << waited << sh << QStringLiteral("echo 'no server'; exit 1") << int(HelperEnd::Exited)
            << 1 << QByteArray("no server\n");
        QTest::addRow("refused, %s", way) << waited << sh << QStringLiteral("exit 2")
                                          << int(HelperEnd::Exited) << 2 << QByteArray();
        QTest::addRow("died of a signal, %s", way)
            << waited << sh << QStringLiteral("echo half; kill -SEGV $$") << int(HelperEnd::Crashed)
            << -1 << QByteArray("half\n");
        QTest::addRow("killed from outside, %s", way)
            << waited << sh << QStringLiteral("kill -KILL $$") << int(HelperEnd::Crashed) << -1
            << QByteArray();
        QTest::addRow("not there, %s", way)
            << waited << missing << QString() << int(HelperEnd::NotStarted) << -1 << QByteArray();
    }
}

void TestHelperRun::howItEnded()
{
    QFETCH(bool, waited);
    QFETCH(QString, program);
    QFETCH(QString, script);
    QFETCH(int, kind);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, report);
    HelperRun::Setup setup{program, {}, {}, 30s};
    if (!script.isEmpty())
        setup.arguments = {QStringLiteral("-c"), script};
    const HelperEnd end = runHelper(setup, waited);
    QCOMPARE(int(end.kind), kind);
    QCOMPARE(end.succeeded(), kind == HelperEnd::Exited && exitCode == 0);
    if (kind == HelperEnd::Exited)
        QCOMPARE(end.exitCode, exitCode);
    QCOMPARE(end.report, report);
    QCOMPARE(end.error.isEmpty(), kind != HelperEnd::NotStarted);
}

void TestHelperRun::helperStartsWithSignalsAtTheirDefaults_data()
{
    addWays();
}

// The service blocks SIGTERM and SIGINT in every thread to read them itself, and
// whoever started the service may have left a signal ignored; a helper must
// inherit neither, or it could not be stopped.
void TestHelperRun::helperStartsWithSignalsAtTheirDefaults()
{
    QFETCH(bool, waited);
    sigset_t before;
    pthread_sigmask(SIG_SETMASK, nullptr, &before);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    struct sigaction ignored = {};
    ignored.sa_handler = SIG_IGN;
    struct sigaction pipeBefore = {};
    sigaction(SIGPIPE, &ignored, &pipeBefore);
    struct sigaction usr1Before = {};
    sigaction(SIGUSR1, &ignored, &usr1Before);
    const auto restore = qScopeGuard([&] {
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        sigaction(SIGPIPE, &pipeBefore, nullptr);
        sigaction(SIGUSR1, &usr1Before, nullptr);
    });

    const HelperEnd end = runHelper({QStringLiteral("grep"),
                                     {QStringLiteral("-E"), QStringLiteral("^Sig(Blk|Ign):"),
                                      QStringLiteral("/proc/self/status")},
                                     {},
                                     30s},
                                    waited);
    QVERIFY(end.succeeded());
    QCOMPARE(end.report, QByteArray("SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n"));
}

void TestHelperRun::argumentsReachTheHelper()
{
    const HelperEnd end = HelperRun::run(
        {QStringLiteral("/bin/sh"),
         {QStringLiteral("-c"), QStringLiteral("printf '%s|' \"$@\""), QStringLiteral("sh"),
          QStringLiteral("one two"), QStringLiteral("--"), QString()},
         {},
         30s});
    QVERIFY(end.succeeded());
    QCOMPARE(end.report, QByteArray("one two|--||"));
}

void TestHelperRun::standardError_data()
{
    QTest::addColumn<int>("errors");
    QTest::addColumn<QByteArray>("report");
    QTest::newRow("forwarded") << int(HelperRun::Errors::Forwarded) << QByteArray("out\n");
    QTest::newRow("discarded") << int(HelperRun::Errors::Discarded) << QByteArray("out\n");
    QTest::newRow("in the report") << int(HelperRun::Errors::InReport) << QByteArray("out\nerr\n");
}

// Only a program that tells its failures on its standard error has them in its report.
void TestHelperRun::standardError()
{
    QFETCH(int, errors);
    QFETCH(QByteArray, report);
    HelperRun::Setup setup = shell(QStringLiteral("echo out; sleep 0.1; echo err >&2"));
    setup.errors = HelperRun::Errors(errors);
    const HelperEnd end = HelperRun::run(setup);
    QVERIFY(end.succeeded());
    QCOMPARE(end.report, report);
}

// The service ends while a helper still runs: the helper does not outlive it.
void TestHelperRun::runStillGoingEndsWithItsOwner()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    pid_t pid = 0;
    {
        HelperRun run(shell(
            QStringLiteral("echo $$ > '%1.new' && mv '%1.new' '%1'; exec sleep 120").arg(pidFile)));
        QSignalSpy ended(&run, &HelperRun::ended);
        run.start();
        QVERIFY(run.isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile), 30000);
        QFile file(pidFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        pid = file.readAll().trimmed().toInt();
        QVERIFY(pid > 0);
        QVERIFY(!processIsGone(pid));
        QCOMPARE(ended.size(), 0);
    }
    QVERIFY(processIsGone(pid));
}

QTEST_GUILESS_MAIN(TestHelperRun)
#include "tst_helper_run.moc"
