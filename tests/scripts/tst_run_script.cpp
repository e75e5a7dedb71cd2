// scripts/run.sh as a new user runs it on a machine without a display: it
// builds (nothing to do here), starts the service in the user's folders, waits
// until it listens, and says how to stop it; or says why the service did not
// come up. The service it starts is stopped with velmora-service --stop.
#include "servers/ServerProcess.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using testfiles::modeOf;
using testfiles::readFile;
using testfiles::writeFile;

namespace {

constexpr quint16 ServicePort = 9522;

struct Run
{
    int exitCode = -1;
    QString output; // stdout, then stderr
};

} // namespace

class TestRunScript : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void freshAccount();
    void serviceThatCannotStart();
    void portTakenByAnotherProgram();

private:
    // The user's environment: a home folder of its own, no display.
    QProcessEnvironment user() const;
    Run runScript(const QProcessEnvironment& env) const;
    int stopService(const QProcessEnvironment& env) const;
    QString service() const
    {
        return qEnvironmentVariable("VELMORA_BINARY_DIR") + QStringLiteral("/bin/velmora-service");
    }

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_home;
    QString m_runtime;
};

void TestRunScript::init()
{
    if (testservers::portAcceptsConnections(ServicePort))
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    // The service moves a log of an earlier version from beside itself into the
    // state folder: here, a home that goes when the test ends.
    if (QFile::exists(QFileInfo(service()).path() + QStringLiteral("/velmora.log")))
        QSKIP("a history log of an earlier version lies beside the built programs; the service "
              "would move it into this test's throwaway home");
    m_folder = std::make_unique<QTemporaryDir>();
    m_home = m_folder->filePath(QStringLiteral("home"));
    m_runtime = m_folder->filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkpath(m_home));
    QVERIFY(QDir().mkpath(m_runtime));
    QVERIFY(
        QFile::setPermissions(m_runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void TestRunScript::cleanup()
{
    // Whatever the test did, no service of its own is left running.
    if (m_folder)
        stopService(user());
    m_folder.reset();
}

QProcessEnvironment TestRunScript::user() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("HOME"), m_home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
    // The build the tests run from.
    env.insert(QStringLiteral("VELMORA_BUILD_DIR"), qEnvironmentVariable("VELMORA_BINARY_DIR"));
    return env;
}

Run TestRunScript::runScript(const QProcessEnvironment& env) const
{
    QProcess script;
    script.setProcessEnvironment(env);
    script.setStandardInputFile(QProcess::nullDevice());
    script.start(QStringLiteral("bash"),
                 {qEnvironmentVariable("VELMORA_SOURCE_DIR") + QStringLiteral("/scripts/run.sh")});
    // It configures the build again, which takes a few seconds on a busy machine.
    if (!script.waitForFinished(testtime::scaled(180000))) {
        script.kill();
        script.waitForFinished(testtime::scaled(30000));
        return {};
    }
    return {script.exitStatus() == QProcess::NormalExit ? script.exitCode() : -1,
            QString::fromLocal8Bit(script.readAllStandardOutput() + script.readAllStandardError())};
}

int TestRunScript::stopService(const QProcessEnvironment& env) const
{
    QProcess stop;
    stop.setProcessEnvironment(env);
    stop.start(service(), {QStringLiteral("--stop")});
    return stop.waitForFinished(testtime::scaled(30000)) ? stop.exitCode() : -1;
}

void TestRunScript::freshAccount()
{
    const QProcessEnvironment env = user();
    const Run first = runScript(env);
    QVERIFY2(first.exitCode == 0, qPrintable(first.output));
    QVERIFY2(first.output.contains(QStringLiteral("To stop it: %1 --stop").arg(service())),
             qPrintable(first.output));
    QVERIFY2(first.output.contains(QStringLiteral("xvfb-run ")), qPrintable(first.output));
    // It said it listens, and it does, right away.
    QVERIFY(testservers::portAcceptsConnections(ServicePort));

    // The folders, made for this user alone, with the service's output and settings.
    const QString state = m_home + QStringLiteral("/.local/state/velmora");
    QCOMPARE(modeOf(state), 0700);
    QCOMPARE(modeOf(m_home + QStringLiteral("/.local/state")), 0700);
    QVERIFY2(readFile(state + QStringLiteral("/velmora-service.out")).contains("listening on"),
             readFile(state + QStringLiteral("/velmora-service.out")).constData());
    QCOMPARE(modeOf(state + QStringLiteral("/velmora-service.out")), 0600);
    QCOMPARE(modeOf(m_home + QStringLiteral("/.config/velmora")), 0700);

    // Run again: the service already runs, and stays the one it was.
    const Run second = runScript(env);
    QVERIFY2(second.exitCode == 0, qPrintable(second.output));
    QVERIFY2(second.output.contains(QStringLiteral("velmora-service already runs")),
             qPrintable(second.output));
    QCOMPARE(readFile(state + QStringLiteral("/velmora-service.out")).count("listening on"), 1);

    QCOMPARE(stopService(env), 0);
    QVERIFY(!testservers::portAcceptsConnections(ServicePort));
}

void TestRunScript::serviceThatCannotStart()
{
    // The config folder cannot be made: a file is in the way.
    QProcessEnvironment env = user();
    const QString blocked = m_folder->filePath(QStringLiteral("not-a-folder"));
    QVERIFY(writeFile(blocked, "x"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), blocked);

    const Run run = runScript(env);
    QVERIFY2(run.exitCode != 0, qPrintable(run.output));
    QVERIFY2(run.output.contains(QStringLiteral("velmora-service does not listen")),
             qPrintable(run.output));
    // Its reason, from its own output.
    QVERIFY2(run.output.contains(
                 QStringLiteral("velmora-service: cannot create the config folder %1/velmora (%1 "
                                "is not a folder)")
                     .arg(blocked)),
             qPrintable(run.output));
    QVERIFY(!run.output.contains(QStringLiteral("To stop it")));
    QVERIFY(!testservers::portAcceptsConnections(ServicePort));
}

void TestRunScript::portTakenByAnotherProgram()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost, ServicePort));
    const Run run = runScript(user());
    QVERIFY2(run.exitCode != 0, qPrintable(run.output));
    QVERIFY2(run.output.contains(QStringLiteral("127.0.0.1:9522 is in use, but not by your "
                                                "velmora-service")),
             qPrintable(run.output));
    QCOMPARE(stopService(user()), 7); // nothing was started
}

QTEST_GUILESS_MAIN(TestRunScript)
#include "tst_run_script.moc"
