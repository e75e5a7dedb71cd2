// The program at the end of a log-on session, with a session manager (XSMP) of
// the test's own, a window manager and a notification area on a private display.
#include "ProgramUnderTest.h"
#include "SessionManagerStandIn.h"
#include "XServer.h"
#include "fakes/FakeService.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QTemporaryDir>
#include <QtTest>
#include <X11/SM/SMlib.h>
#include <csignal>

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cancelledLogOffLeavesItRunning_data();
    void cancelledLogOffLeavesItRunning();

private:
    XServer m_x;
    QTemporaryDir m_runtime;
    std::unique_ptr<FakeService> m_service;
    std::unique_ptr<QProcess> m_program;
};

void TestSession::initTestCase()
{
    if (!m_x.start())
        QSKIP("Xvfb and xdotool are needed to run the program on a private display");
    QVERIFY(m_x.startWindowManager());
    QVERIFY(m_x.startTrayHost());
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(QFile::exists(programundertest::path()), qPrintable(programundertest::path()));
}

void TestSession::init()
{
    m_service = std::make_unique<FakeService>(9522);
    if (!m_service->isListening())
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    programundertest::answerAsTheService(*m_service);
}

void TestSession::cleanup()
{
    if (m_program && m_program->state() != QProcess::NotRunning) {
        m_program->kill();
        m_program->waitForFinished(testtime::scaled(3000));
    }
    m_program.reset();
    m_service.reset();
}

void TestSession::cancelledLogOffLeavesItRunning_data()
{
    QTest::addColumn<QString>("end");
    // Each a few times in a row, as the window's life on a desktop is.
    for (int round = 1; round <= 3; ++round) {
        QTest::addRow("SIGTERM, round %d", round) << "SIGTERM";
        QTest::addRow("SIGHUP, round %d", round) << "SIGHUP";
        QTest::addRow("die, round %d", round) << "die";
    }
}

void TestSession::cancelledLogOffLeavesItRunning()
{
    QFETCH(QString, end);
    SessionManagerStandIn session;
    QVERIFY2(session.listen(), qPrintable(session.errorText()));
    m_program = std::make_unique<QProcess>();
    QProcessEnvironment environment =
        programundertest::environment(m_x.display(), m_runtime.path());
    environment.insert("SESSION_MANAGER", session.address());
    m_program->setProcessEnvironment(environment);
    m_program->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program->start(programundertest::path(), {});
    QVERIFY(m_program->waitForStarted(testtime::scaled(5000)));
    QVERIFY(session.waitForClient(testtime::scaled(15000)));
    QVERIFY(m_service->waitForExchanges(3, testtime::scaled(15000)));
    QVERIFY(waitFor([&] { return !m_x.mainWindowNamed("Velmora").isEmpty(); }));
    const QString window = m_x.mainWindowNamed("Velmora");
    QVERIFY(waitFor([&] { return m_x.isViewable(window); }));

    // An unsaved edit: "Send Email Alerts" switched on (its fields are filled, so
    // no notice comes).
    QTest::qWait(300);
    QVERIFY(m_x.xdotool({"mousemove", "--window", window, "383", "169", "click", "1"}));
    QTest::qWait(300);

    // The log-off asks to save, then is cancelled (by the user or another program).
    bool saved = false;
    QVERIFY(session.requestSaveForLogOff(10000, &saved));
    QVERIFY(saved);
    // The autostart entry starts it at the next log-on: the session must not as well.
    QCOMPARE(session.restartStyle(), int(SmRestartNever));
    session.cancelShutdown();
    QVERIFY(neverWithin(1000, [&] { return m_program->state() == QProcess::NotRunning; }));
    QVERIFY(m_x.isViewable(window));
    QCOMPARE(m_x.visibleWindows("Settings Not Saved"), 0);

    // The session's real end ends it, saving nothing and asking nothing.
    if (end == "die")
        session.die();
    else
        ::kill(pid_t(m_program->processId()), end == "SIGTERM" ? SIGTERM : SIGHUP);
    QVERIFY(m_program->waitForFinished(testtime::scaled(5000)));
    QCOMPARE(m_program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program->exitCode(), 0);
    QVERIFY(!m_service->commands().contains("SaveSettings"));
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
