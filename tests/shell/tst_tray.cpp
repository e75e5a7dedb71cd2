#include "ProgramUnderTest.h"
#include "XServer.h"
#include "fakes/FakeService.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// The program's icon in a real notification area (trayer, an XEmbed tray host) on
// a private display, driven with the pointer as a user drives it.
class TestTray : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pointerOverIconRefreshesStatus();
    void rightClickOpensMenuAndShowsWindow();
    void closingHidesAndDoubleClickShows();
    void iconComesBackWhenTrayHostRestarts();

private:
    QString iconWindow(int timeoutMs = testtime::scaled(8000)) const;
    qsizetype statusRefreshes() const { return m_service->commands().count("UpdateStatus"); }

    XServer m_x;
    QTemporaryDir m_runtime;
    std::unique_ptr<FakeService> m_service;
    QProcess m_program;
};

void TestTray::initTestCase()
{
    if (QStandardPaths::findExecutable("trayer").isEmpty())
        QSKIP("trayer is needed as the tray host");
    if (!m_x.start())
        QSKIP("Xvfb and xdotool are needed to run the program on a private display");
    m_service = std::make_unique<FakeService>(9522);
    if (!m_service->isListening())
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    programundertest::answerAsTheService(*m_service);
    QVERIFY(m_x.startTrayHost());

    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_program.setProcessEnvironment(programundertest::environment(m_x.display(), m_runtime.path()));
    m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program.start(programundertest::path(), {"systray"});
    QVERIFY(m_program.waitForStarted(testtime::scaled(5000)));
    QVERIFY(
        m_service->waitForExchanges(programundertest::StartUpExchanges, testtime::scaled(15000)));
    QVERIFY2(!iconWindow().isEmpty(), "the icon did not appear in the tray");
}

void TestTray::cleanupTestCase()
{
    if (m_program.state() != QProcess::NotRunning) {
        m_program.kill();
        m_program.waitForFinished(testtime::scaled(3000));
    }
}

QString TestTray::iconWindow(int timeoutMs) const
{
    QString icon;
    waitFor([&] { return !(icon = m_x.trayIconOf("velmora")).isEmpty(); }, timeoutMs);
    return icon;
}

void TestTray::pointerOverIconRefreshesStatus()
{
    const QString icon = iconWindow();
    const qsizetype before = statusRefreshes();
    for (int x = 2; x <= 10; x += 2)
        QVERIFY(m_x.xdotool({"mousemove", "--window", icon, QString::number(x), "8"}));
    QVERIFY(waitFor([&] { return statusRefreshes() >= before + 3; }));
    QCOMPARE(m_x.visibleWindows("Velmora"), 0); // hovering opens nothing
}

void TestTray::rightClickOpensMenuAndShowsWindow()
{
    const QString icon = iconWindow();
    const qsizetype before = m_x.visibleWindowsOfClass("velmora").size();
    // The pointer's arrival over the icon refreshes first; then it stays still.
    QVERIFY(m_x.xdotool({"mousemove", "--window", icon, "6", "8"}));
    QTest::qWait(300);
    const qsizetype refreshes = statusRefreshes();
    QVERIFY(m_x.xdotool({"click", "3"}));
    QVERIFY(waitFor([&] { return m_x.visibleWindowsOfClass("velmora").size() > before; }));
    // The click refreshes the status once; opening the menu adds no second exchange
    // on a tray that reports the pointer.
    QVERIFY(waitFor([&] { return statusRefreshes() > refreshes; }));
    QVERIFY(neverWithin(300, [&] { return statusRefreshes() > refreshes + 1; }));
    // Keyboard through the menu: the two copy items, then "Show Velmora".
    QVERIFY(m_x.xdotool({"key", "Down", "Down", "Down", "Return"}));
    QVERIFY(waitFor([&] { return m_x.visibleWindows("Velmora") == 1; }));
}

void TestTray::closingHidesAndDoubleClickShows()
{
    QVERIFY(waitFor([&] { return m_x.visibleWindows("Velmora") == 1; }));
    // "Cancel" hides the window to the tray; the program keeps running.
    QVERIFY(m_x.xdotool({"mousemove", "702", "619", "click", "1"}));
    QVERIFY(waitFor([&] { return m_x.visibleWindows("Velmora") == 0; }));
    QCOMPARE(m_program.state(), QProcess::Running);
    const QString icon = iconWindow();
    QVERIFY(m_x.xdotool(
        {"mousemove", "--window", icon, "6", "8", "click", "--repeat", "2", "--delay", "60", "1"}));
    QVERIFY(waitFor([&] { return m_x.visibleWindows("Velmora") == 1; }));
}

void TestTray::iconComesBackWhenTrayHostRestarts()
{
    m_x.stopTrayHost();
    QVERIFY(m_x.startTrayHost());
    QVERIFY2(!iconWindow(testtime::scaled(10000)).isEmpty(),
             "the icon was not added to the new tray");
    QCOMPARE(m_program.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestTray)
#include "tst_tray.moc"
