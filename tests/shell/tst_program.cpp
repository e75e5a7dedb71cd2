#include "ProgramUnderTest.h"
#include "XServer.h"
#include "fakes/FakeService.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

// The real program, started as a user starts it, on a private display, against a
// scripted service on 127.0.0.1:9522.
class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void secondCopyShowsTheFirstCopysWindow_data();
    void secondCopyShowsTheFirstCopysWindow();
    void onlyTheExactSwitchStartsInTheTray_data();
    void onlyTheExactSwitchStartsInTheTray();
    void copyInAnotherFolderRunsBeside();
    void lockOfACrashedCopyIsTakenOver();
    void sigtermEndsAtOnceWithoutSaving();
    void startWithoutServiceTellsAndEnds();
    void withoutDisplay_data();
    void withoutDisplay();

private:
    QProcess* start(const QStringList& arguments, const QString& program = {});
    bool waitForStartUp(int exchanges);
    bool waitForVisibleWindow(const QString& title, int timeoutMs = testtime::scaled(8000));

    XServer m_x;
    QTemporaryDir m_runtime;
    std::unique_ptr<FakeService> m_service;
    QList<QProcess*> m_processes;
    QString m_program;
};

void TestProgram::initTestCase()
{
    if (!m_x.start())
        QSKIP("Xvfb and xdotool are needed to run the program on a private display");
    // A start in the tray needs a tray to start in.
    if (!m_x.startTrayHost())
        QSKIP("trayer is needed as the notification area");
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_program = programundertest::path();
    QVERIFY2(QFile::exists(m_program), qPrintable(m_program));
}

void TestProgram::init()
{
    m_service = std::make_unique<FakeService>(9522);
    if (!m_service->isListening())
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    programundertest::answerAsTheService(*m_service);
}

void TestProgram::cleanup()
{
    for (QProcess* process : std::as_const(m_processes)) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(testtime::scaled(3000));
        }
        delete process;
    }
    m_processes.clear();
    m_service.reset();
}

QProcess* TestProgram::start(const QStringList& arguments, const QString& program)
{
    auto* process = new QProcess;
    process->setProcessEnvironment(programundertest::environment(m_x.display(), m_runtime.path()));
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(program.isEmpty() ? m_program : program, arguments);
    process->waitForStarted(testtime::scaled(5000));
    m_processes.append(process);
    return process;
}

bool TestProgram::waitForStartUp(int exchanges)
{
    // Once the window's creation has made its exchanges, it runs.
    if (!m_service->waitForExchanges(exchanges, testtime::scaled(15000)))
        return false;
    QTest::qWait(300);
    return true;
}

bool TestProgram::waitForVisibleWindow(const QString& title, int timeoutMs)
{
    return waitFor([&] { return m_x.visibleWindows(title) > 0; }, timeoutMs);
}

void TestProgram::secondCopyShowsTheFirstCopysWindow_data()
{
    QTest::addColumn<QStringList>("secondArguments");
    QTest::newRow("no arguments") << QStringList{};
    QTest::newRow("systray") << QStringList{"systray"};
}

void TestProgram::secondCopyShowsTheFirstCopysWindow()
{
    QFETCH(QStringList, secondArguments);
    QProcess* first = start({"systray"});
    QVERIFY(waitForStartUp(programundertest::StartUpExchanges));
    QCOMPARE(m_x.visibleWindows("Velmora"), 0);

    QProcess* second = start(secondArguments);
    QVERIFY(second->waitForFinished(testtime::scaled(15000)));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(waitForVisibleWindow("Velmora"));
    QCOMPARE(m_x.visibleWindows("Velmora"), 1);
    QCOMPARE(first->state(), QProcess::Running);
    // The second copy never talked to the service (the first copy's shown Status
    // page refreshes once).
    QVERIFY(neverWithin(200, [&] { return m_service->commands().count("GetSettings") > 1; }));
}

void TestProgram::onlyTheExactSwitchStartsInTheTray_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("shown");
    QTest::newRow("systray") << QStringList{"systray"} << false;
    QTest::newRow("Systray") << QStringList{"Systray"} << true;
    QTest::newRow("/systray") << QStringList{"/systray"} << true;
    QTest::newRow("-systray") << QStringList{"-systray"} << true;
    QTest::newRow("second place") << QStringList{"x", "systray"} << true;
    QTest::newRow("none") << QStringList{} << true;
}

void TestProgram::onlyTheExactSwitchStartsInTheTray()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, shown);
    start(arguments);
    QVERIFY(waitForStartUp(programundertest::StartUpExchanges));
    if (shown)
        QVERIFY(waitForVisibleWindow("Velmora"));
    else
        QCOMPARE(m_x.visibleWindows("Velmora"), 0);
}

void TestProgram::copyInAnotherFolderRunsBeside()
{
    QTemporaryDir other;
    const QString copy = other.filePath("velmora");
    QVERIFY(QFile::copy(m_program, copy));
    QFile::setPermissions(copy, QFile::permissions(m_program));
    QProcess* first = start({"systray"});
    QVERIFY(waitForStartUp(programundertest::StartUpExchanges));
    QProcess* second = start({"systray"}, copy);
    QVERIFY(waitForStartUp(2 * programundertest::StartUpExchanges));
    QVERIFY(!second->waitForFinished(500));
    QCOMPARE(first->state(), QProcess::Running);
    QCOMPARE(second->state(), QProcess::Running);
}

void TestProgram::lockOfACrashedCopyIsTakenOver()
{
    QProcess* crashed = start({"systray"});
    QVERIFY(waitForStartUp(programundertest::StartUpExchanges));
    ::kill(pid_t(crashed->processId()), SIGKILL);
    QVERIFY(crashed->waitForFinished(testtime::scaled(5000)));

    QProcess* next = start({"systray"});
    QVERIFY(waitForStartUp(2 * programundertest::StartUpExchanges));
    QCOMPARE(next->state(), QProcess::Running);
    QProcess* third = start({});
    QVERIFY(third->waitForFinished(testtime::scaled(15000)));
    QCOMPARE(third->exitCode(), 0);
    QVERIFY(waitForVisibleWindow("Velmora"));
}

void TestProgram::sigtermEndsAtOnceWithoutSaving()
{
    QProcess* program = start({});
    QVERIFY(waitForStartUp(programundertest::StartUpExchanges));
    QVERIFY(waitForVisibleWindow("Velmora"));
    // An unsaved edit: switch "Send Email Alerts" on (its fields are filled, so no
    // notice). The window is centred on the 1024x768 screen.
    QVERIFY(m_x.xdotool({"mousemove", "576", "295", "click", "1"}));
    QTest::qWait(300);
    ::kill(pid_t(program->processId()), SIGTERM);
    QVERIFY(program->waitForFinished(testtime::scaled(5000)));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
    QVERIFY(neverWithin(200, [&] { return m_service->commands().contains("SaveSettings"); }));
}

void TestProgram::startWithoutServiceTellsAndEnds()
{
    m_service->stop();
    QProcess* program = start({"systray"});
    // The notice is captioned with the application title, the executable's name.
    QVERIFY(waitForVisibleWindow("velmora", testtime::scaled(15000)));
    QVERIFY(program->state() == QProcess::Running);
    const QString box = m_x.firstVisibleWindow("velmora");
    QVERIFY(m_x.xdotool({"windowfocus", "--sync", box}));
    QVERIFY(m_x.xdotool({"key", "Return"}));
    QVERIFY(program->waitForFinished(testtime::scaled(10000)));
    QCOMPARE(program->exitCode(), 0);
    QCOMPARE(m_x.visibleWindows("Velmora"), 0);
}

void TestProgram::withoutDisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // the start of what it prints
    QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: velmora [systray]";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << "Usage: velmora [systray]";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "velmora " VELMORA_VERSION_TEXT;
    QTest::newRow("a start") << QStringList{"systray"} << 1 << "velmora: no display";
}

void TestProgram::withoutDisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert("XDG_RUNTIME_DIR", m_runtime.path());
    program.setProcessEnvironment(env);
    program.start(m_program, arguments);
    QVERIFY(program.waitForFinished(testtime::scaled(10000)));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QString printed = QString::fromLocal8Bit(exitCode == 0 ? program.readAllStandardOutput()
                                                                 : program.readAllStandardError());
    QVERIFY2(printed.startsWith(output), qPrintable(printed));
    QCOMPARE(m_service->exchanges().size(), 0);
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
