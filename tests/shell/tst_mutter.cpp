#include "ProgramUnderTest.h"
#include "XServer.h"
#include "fakes/FakeService.h"
#include "support/TestTime.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int Rounds = 10;
const QString MainTitle = QStringLiteral("Velmora");

} // namespace

// The program under mutter (GNOME's window manager, here on X11) with no
// notification area, as on GNOME without the AppIndicator extension: the window
// lives on the taskbar, and every way off the screen leaves it there.
class TestMutter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void withoutTrayEveryRouteLeavesTheWindowOnTheTaskbar();

private:
    QProcess* start(const QStringList& arguments);
    QString mainWindow() const { return m_x.mainWindowNamed(MainTitle); }
    bool shownNormalAndActive(const QString& window) const
    {
        return m_x.isViewable(window) && m_x.wmState(window) == "Normal" &&
               m_x.activeWindow() == window;
    }
    bool hide(const QString& route, const QString& window) const;

    XServer m_x;
    QTemporaryDir m_runtime;
    std::unique_ptr<FakeService> m_service;
    QList<QProcess*> m_processes;
};

void TestMutter::initTestCase()
{
    if (QStandardPaths::findExecutable("mutter").isEmpty() ||
        QStandardPaths::findExecutable("dbus-run-session").isEmpty())
        QSKIP("mutter and dbus-run-session are needed for GNOME's window manager");
    if (!m_x.start())
        QSKIP("Xvfb and xdotool are needed to run the program on a private display");
    // mutter wants a session bus of its own.
    QVERIFY2(m_x.startWindowManager("dbus-run-session",
                                    {"--", "mutter", "--x11", "--replace", "--sm-disable"}),
             "mutter did not come up");
    if (QStandardPaths::findExecutable("wmctrl").isEmpty())
        QSKIP("wmctrl is needed to close windows");
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_service = std::make_unique<FakeService>(9522);
    if (!m_service->isListening())
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    programundertest::answerAsTheService(*m_service);
}

void TestMutter::cleanup()
{
    for (QProcess* process : std::as_const(m_processes)) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(testtime::scaled(3000));
        }
        delete process;
    }
    m_processes.clear();
}

QProcess* TestMutter::start(const QStringList& arguments)
{
    auto* process = new QProcess;
    process->setProcessEnvironment(programundertest::environment(m_x.display(), m_runtime.path()));
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(programundertest::path(), arguments);
    process->waitForStarted(testtime::scaled(5000));
    m_processes.append(process);
    return process;
}

bool TestMutter::hide(const QString& route, const QString& window) const
{
    if (route == "close box")
        return m_x.closeWindow(window);
    if (route == "minimize")
        return m_x.xdotool({"windowminimize", window});
    // "Cancel", at the right end of the bottom bar.
    const QSize size = m_x.windowSize(window);
    return m_x.xdotool({"mousemove", "--window", window, QString::number(size.width() - 128),
                        QString::number(size.height() - 22), "click", "1"});
}

void TestMutter::withoutTrayEveryRouteLeavesTheWindowOnTheTaskbar()
{
    // The log-on start: with no tray to go to, the window waits on the taskbar.
    QProcess* program = start({"systray"});
    QVERIFY(
        m_service->waitForExchanges(programundertest::StartUpExchanges, testtime::scaled(15000)));
    QString window;
    QVERIFY(waitFor([&] { return !(window = mainWindow()).isEmpty(); }));
    QVERIFY2(waitFor([&] { return m_x.wmState(window) == "Iconic"; }),
             qPrintable("the window is not on the taskbar: " + m_x.wmState(window)));

    const QStringList routes{"close box", "Cancel", "minimize"};
    for (int round = 1; round <= Rounds; ++round) {
        const QString where = QStringLiteral("round %1: ").arg(round);
        // A second start (the menu entry) brings it up.
        QProcess* second = start({});
        QVERIFY2(second->waitForFinished(testtime::scaled(15000)) && second->exitCode() == 0,
                 qPrintable(where + "the second start did not end at once"));
        QVERIFY2(waitFor([&] { return shownNormalAndActive(window); }),
                 qPrintable(where + "the window did not come up, normal and active"));
        QTest::qWait(300);
        const QString route = routes.at(round % routes.size());
        QVERIFY(hide(route, window));
        QVERIFY2(waitFor([&] { return m_x.wmState(window) == "Iconic"; }),
                 qPrintable(where + route + " did not leave the window on the taskbar"));
        QCOMPARE(program->state(), QProcess::Running);
    }

    // Help, "Exit" ends the program.
    QProcess* second = start({});
    QVERIFY(second->waitForFinished(testtime::scaled(15000)));
    QVERIFY(waitFor([&] { return shownNormalAndActive(window); }));
    const QString before = m_x.visibleWindowsOfClass("velmora").join(' ');
    const QSize size = m_x.windowSize(window);
    QVERIFY(m_x.xdotool(
        {"mousemove", "--window", window, QString::number(size.width() - 44), "26", "click", "1"}));
    QVERIFY2(waitFor([&] { return m_x.visibleWindowsOfClass("velmora").join(' ') != before; }),
             "the Help menu did not open");
    QVERIFY(m_x.xdotool({"key", "x"}));
    QVERIFY2(program->waitForFinished(testtime::scaled(10000)), "Exit did not end the program");
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestMutter)
#include "tst_mutter.moc"
