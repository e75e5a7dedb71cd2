#include "InputGrabs.h"
#include "ProgramUnderTest.h"
#include "XServer.h"
#include "fakes/FakeService.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {

constexpr int Rounds = 10;
const QString MainTitle = QStringLiteral("Velmora");
const QString SaveQuestionTitle = QStringLiteral("Settings Not Saved");

} // namespace

// The window's life in the notification area on a desktop: the real program on a
// private display with a window manager (openbox) and a notification area
// (trayer), driven with the pointer and keys as a user drives it, each route many
// times in a row, since what fails here fails now and then.
class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyWayBackShowsTheWindow_data();
    void everyWayBackShowsTheWindow();
    void everyEndingEndsTheProgram_data();
    void everyEndingEndsTheProgram();
    void withoutTrayTheWindowStaysReachable();

private:
    QProcess* start(const QStringList& arguments);
    // The main window once the program has made its first exchanges.
    QString startUp(const QStringList& arguments, QProcess** process = nullptr);
    QString iconWindow() const { return m_x.trayIconOf("velmora"); }
    QString mainWindow() const { return m_x.mainWindowNamed(MainTitle); }
    QString openMenu(const std::function<bool()>& open);
    // Waits until no other client holds the pointer or the keyboard, and says
    // so when it had to.
    void waitForFreeInput() const;
    bool shownNormalAndActive(const QString& window) const;
    bool hiddenToTray(const QString& window) const;
    bool click(const QString& window, int fromRight, int fromBottom) const;
    bool hide(const QString& route, const QString& window);
    bool showAgain(const QString& route);
    bool editSomething(const QString& window) const;
    bool chooseExit(const QString& menu, const QString& window);
    // Waits for the process to end, answering each save question that appears
    // meanwhile with the key given; the questions are counted.
    bool waitForEnd(QProcess* process, const QString& answerKey, int* questions, qint64* elapsedMs);

    XServer m_x;
    QTemporaryDir m_runtime;
    std::unique_ptr<FakeService> m_service;
    QList<QProcess*> m_processes;
};

void TestDesktop::initTestCase()
{
    if (!m_x.start())
        QSKIP("Xvfb and xdotool are needed to run the program on a private display");
    if (!m_x.startWindowManager())
        QSKIP("openbox and xprop are needed as the window manager");
    if (QStandardPaths::findExecutable("wmctrl").isEmpty() ||
        QStandardPaths::findExecutable("xwininfo").isEmpty())
        QSKIP("wmctrl and xwininfo are needed to close and look at windows");
    if (!m_x.startTrayHost())
        QSKIP("trayer is needed as the notification area");
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(QFile::exists(programundertest::path()), qPrintable(programundertest::path()));
}

void TestDesktop::init()
{
    if (!m_x.trayHostRuns())
        QVERIFY(m_x.startTrayHost());
    m_service = std::make_unique<FakeService>(9522);
    if (!m_service->isListening())
        QSKIP("127.0.0.1:9522 is in use (a service is running here)");
    programundertest::answerAsTheService(*m_service);
}

void TestDesktop::cleanup()
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

QProcess* TestDesktop::start(const QStringList& arguments)
{
    auto* process = new QProcess;
    process->setProcessEnvironment(programundertest::environment(m_x.display(), m_runtime.path()));
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(programundertest::path(), arguments);
    process->waitForStarted(testtime::scaled(5000));
    m_processes.append(process);
    return process;
}

QString TestDesktop::startUp(const QStringList& arguments, QProcess** process)
{
    const int before = int(m_service->exchanges().size());
    QProcess* started = start(arguments);
    if (process)
        *process = started;
    if (!m_service->waitForExchanges(before + programundertest::StartUpExchanges,
                                     testtime::scaled(15000)))
        return {};
    // The icon is in the tray before anyone reaches for it.
    waitFor([&] { return !iconWindow().isEmpty(); });
    // A window started in the tray is made only when first shown.
    QString window;
    if (!arguments.contains("systray"))
        waitFor([&] { return !(window = mainWindow()).isEmpty(); });
    return window;
}

QString TestDesktop::openMenu(const std::function<bool()>& open)
{
    const QStringList before = m_x.visibleWindowsOfClass("velmora");
    QString menu;
    const auto opened = [&] {
        for (const QString& window : m_x.visibleWindowsOfClass("velmora"))
            if (!before.contains(window))
                menu = window;
        return !menu.isEmpty();
    };
    // A click sent while another client holds the pointer (the window manager
    // busy with a window just closed, a menu still closing) goes to that client:
    // the menu never comes. A user waits for the desktop to settle; so does this.
    waitForFreeInput();
    const qsizetype refreshesBefore = m_service->commands().count("UpdateStatus");
    if (!open())
        return {};
    if (!waitFor(opened, testtime::scaled(3000))) {
        // What a lost click leaves to go on: whether the press reached the
        // program (a click on the icon refreshes the status), and where it went.
        qWarning().noquote() << "the click did not open the menu; refreshes since:"
                             << m_service->commands().count("UpdateStatus") - refreshesBefore
                             << "; pointer:"
                             << m_x.xdotoolOutput({"getmouselocation", "--shell"}).join(' ')
                             << "; the program's visible windows:"
                             << m_x.visibleWindowsOfClass("velmora").join(' ');
    }
    return menu;
}

void TestDesktop::waitForFreeInput() const
{
    qint64 waited = 0;
    if (!inputgrabs::waitUntilFree(m_x.display(), 5000, &waited))
        qWarning("the pointer or the keyboard stayed held by another client for 5 s");
    else if (waited >= 100)
        qWarning("waited %lld ms for another client to let go of the pointer or the keyboard",
                 static_cast<long long>(waited));
}

bool TestDesktop::shownNormalAndActive(const QString& window) const
{
    return m_x.isViewable(window) && m_x.wmState(window) == "Normal" &&
           m_x.activeWindow() == window;
}

bool TestDesktop::hiddenToTray(const QString& window) const
{
    return !m_x.isViewable(window) && m_x.wmState(window).isEmpty();
}

bool TestDesktop::click(const QString& window, int fromRight, int fromBottom) const
{
    const QSize size = m_x.windowSize(window);
    return m_x.xdotool({"mousemove", "--window", window, QString::number(size.width() - fromRight),
                        QString::number(size.height() - fromBottom), "click", "1"});
}

bool TestDesktop::hide(const QString& route, const QString& window)
{
    // The buttons sit at the right end of the bottom bar: OK, Cancel, Apply.
    if (route == "Cancel")
        return click(window, 128, 22);
    if (route == "OK")
        return click(window, 212, 22);
    if (route == "close box")
        return m_x.closeWindow(window);
    if (route == "minimize")
        return m_x.xdotool({"windowminimize", window});
    return false;
}

bool TestDesktop::showAgain(const QString& route)
{
    const QString icon = iconWindow();
    if (route == "click" || route == "double click")
        waitForFreeInput();
    if (route == "click")
        return m_x.xdotool({"mousemove", "--window", icon, "8", "8", "click", "1"});
    if (route == "double click")
        return m_x.xdotool({"mousemove", "--window", icon, "8", "8", "click", "--repeat", "2",
                            "--delay", "80", "1"});
    if (route == "Show Velmora") {
        const QString menu = openMenu([&] {
            return m_x.xdotool({"mousemove", "--window", icon, "8", "8", "click", "3"});
        });
        // The two copy items, then "Show Velmora".
        return !menu.isEmpty() &&
               m_x.xdotool({"key", "--delay", "30", "Down", "Down", "Down", "Return"});
    }
    if (route == "second start") {
        QProcess* second = start({});
        return second->waitForFinished(testtime::scaled(15000)) &&
               second->exitStatus() == QProcess::NormalExit && second->exitCode() == 0;
    }
    return false;
}

bool TestDesktop::editSomething(const QString& window) const
{
    // "Send Email Alerts" on the Status page: its e-mail fields are filled, so
    // switching it on asks nothing.
    return m_x.xdotool({"mousemove", "--window", window, "383", "169", "click", "1"});
}

bool TestDesktop::chooseExit(const QString& menu, const QString& window)
{
    QString opened;
    if (menu == "tray") {
        const QString icon = iconWindow();
        opened = openMenu([&] {
            return m_x.xdotool({"mousemove", "--window", icon, "8", "8", "click", "3"});
        });
    } else {
        // The Help button at the right of the header.
        opened = openMenu([&] {
            const QSize size = m_x.windowSize(window);
            return m_x.xdotool({"mousemove", "--window", window, QString::number(size.width() - 44),
                                "26", "click", "1"});
        });
    }
    return !opened.isEmpty() && m_x.xdotool({"key", "x"});
}

bool TestDesktop::waitForEnd(QProcess* process, const QString& answerKey, int* questions,
                             qint64* elapsedMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    QStringList answered;
    const QDeadlineTimer deadline(testtime::scaled(8000));
    while (!deadline.hasExpired() && !process->waitForFinished(30)) {
        for (const QString& box : m_x.visibleWindowsNamed(SaveQuestionTitle)) {
            if (answered.contains(box))
                continue;
            answered.append(box);
            ++*questions;
            m_x.xdotool({"windowactivate", "--sync", box});
            m_x.xdotool({"key", answerKey});
            elapsed.restart(); // the time to end counts from the answer
        }
    }
    *elapsedMs = elapsed.elapsed();
    return process->state() == QProcess::NotRunning;
}

void TestDesktop::everyWayBackShowsTheWindow_data()
{
    QTest::addColumn<QString>("hideRoute");
    QTest::addColumn<QString>("showRoute");
    for (const char* hide : {"Cancel", "OK", "close box", "minimize"})
        for (const char* show : {"click", "double click", "Show Velmora", "second start"})
            QTest::addRow("%s, then %s", hide, show)
                << QString::fromLatin1(hide) << QString::fromLatin1(show);
}

void TestDesktop::everyWayBackShowsTheWindow()
{
    QFETCH(QString, hideRoute);
    QFETCH(QString, showRoute);
    const QString window = startUp({});
    QVERIFY(!window.isEmpty());
    QVERIFY(waitFor([&] { return shownNormalAndActive(window); }));
    for (int round = 1; round <= Rounds; ++round) {
        const QByteArray where = QByteArray("round ") + QByteArray::number(round);
        QVERIFY2(hide(hideRoute, window), where);
        QVERIFY2(waitFor([&] { return hiddenToTray(window); }),
                 where + ": the window did not hide");
        QVERIFY2(showAgain(showRoute), where);
        QVERIFY2(waitFor([&] { return shownNormalAndActive(window); }),
                 where + ": the window did not come back, normal and active");
        // A late notice from the window manager must not take it away again.
        QVERIFY2(
            neverWithin(200,
                        [&] { return !m_x.isViewable(window) || m_x.wmState(window) != "Normal"; }),
            where + ": the window went away again");
    }
    QCOMPARE(m_service->commands().count("SaveSettings"), hideRoute == "OK" ? Rounds : 0);
}

void TestDesktop::everyEndingEndsTheProgram_data()
{
    QTest::addColumn<QString>(
        "start"); // "normal", "systray", "no service" or "no service, systray"
    QTest::addColumn<QString>("before"); // what the user did first
    QTest::addColumn<QString>("ending"); // "tray exit", "help exit", "notice", "SIGTERM", "SIGHUP"
    QTest::addColumn<QString>("answerKey"); // for the save question
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("saves");

    QTest::newRow("tray exit, window shown") << "normal"
                                             << ""
                                             << "tray exit"
                                             << "n" << 0 << 0;
    QTest::newRow("tray exit, window hidden") << "normal"
                                              << "Cancel"
                                              << "tray exit"
                                              << "n" << 0 << 0;
    QTest::newRow("tray exit, window minimized") << "normal"
                                                 << "minimize"
                                                 << "tray exit"
                                                 << "n" << 0 << 0;
    QTest::newRow("tray exit, never shown") << "systray"
                                            << ""
                                            << "tray exit"
                                            << "n" << 0 << 0;
    QTest::newRow("tray exit, unsaved changes") << "normal"
                                                << "edit"
                                                << "tray exit"
                                                << "n" << 0 << 0;
    QTest::newRow("tray exit, unsaved changes, hidden") << "normal"
                                                        << "edit, Cancel"
                                                        << "tray exit"
                                                        << "n" << 0 << 0;
    QTest::newRow("help exit") << "normal"
                               << ""
                               << "help exit"
                               << "n" << 0 << 0;
    QTest::newRow("help exit, unsaved changes, Yes") << "normal"
                                                     << "edit"
                                                     << "help exit"
                                                     << "y" << 1 << 1;
    QTest::newRow("help exit, unsaved changes, No") << "normal"
                                                    << "edit"
                                                    << "help exit"
                                                    << "n" << 1 << 0;
    QTest::newRow("no service, normal start") << "no service"
                                              << ""
                                              << "notice"
                                              << "n" << 0 << 0;
    QTest::newRow("no service, systray start") << "no service, systray"
                                               << ""
                                               << "notice"
                                               << "n" << 0 << 0;
    QTest::newRow("session end, unsaved changes") << "normal"
                                                  << "edit"
                                                  << "SIGTERM"
                                                  << "n" << 0 << 0;
    QTest::newRow("session end, hidden") << "normal"
                                         << "Cancel"
                                         << "SIGHUP"
                                         << "n" << 0 << 0;
}

void TestDesktop::everyEndingEndsTheProgram()
{
    QFETCH(QString, start);
    QFETCH(QString, before);
    QFETCH(QString, ending);
    QFETCH(QString, answerKey);
    QFETCH(int, questions);
    QFETCH(int, saves);
    if (start.startsWith("no service"))
        m_service->stop();
    const QStringList arguments =
        start.endsWith("systray") ? QStringList{"systray"} : QStringList{};

    for (int round = 1; round <= Rounds; ++round) {
        const QByteArray where = QByteArray("round ") + QByteArray::number(round);
        const int savesBefore = int(m_service->commands().count("SaveSettings"));
        QProcess* program = nullptr;
        QString window;
        if (ending == "notice") {
            program = this->start(arguments);
            // The notice is captioned with the application title, the executable's
            // name; it is answered as soon as it shows.
            QString notice;
            QVERIFY2(
                waitFor([&] { return !(notice = m_x.firstVisibleWindow("velmora")).isEmpty(); },
                        testtime::scaled(15000)),
                where + ": no notice");
            QVERIFY2(m_x.xdotool({"windowactivate", "--sync", notice}), where);
            // Not checked: the program may be gone before the key is released.
            m_x.xdotool({"key", "Return"});
        } else {
            window = startUp(arguments, &program);
            QVERIFY2(program && (start == "systray" || !window.isEmpty()),
                     where + ": the program did not start");
            if (start == "normal")
                QVERIFY2(waitFor([&] { return shownNormalAndActive(window); }), where);
            if (before.startsWith("edit")) {
                QVERIFY2(editSomething(window), where);
                QTest::qWait(100); // as a hand leaves the switch before reaching for more
            }
            if (before.endsWith("Cancel") || before == "minimize") {
                QVERIFY2(hide(before.endsWith("Cancel") ? QStringLiteral("Cancel")
                                                        : QStringLiteral("minimize"),
                              window),
                         where);
                QVERIFY2(waitFor([&] { return hiddenToTray(window); }), where + ": not hidden");
            }
            if (ending == "tray exit" || ending == "help exit")
                QVERIFY2(chooseExit(ending == "tray exit" ? "tray" : "help", window), where);
            else
                ::kill(pid_t(program->processId()), ending == "SIGTERM" ? SIGTERM : SIGHUP);
        }
        int asked = 0;
        qint64 elapsedMs = 0;
        QVERIFY2(waitForEnd(program, answerKey, &asked, &elapsedMs),
                 where + ": the program still runs");
        QVERIFY2(program->exitStatus() == QProcess::NormalExit && program->exitCode() == 0,
                 where + ": ended with " + QByteArray::number(program->exitCode()));
        QVERIFY2(elapsedMs < testtime::scaled(2000),
                 where + ": took " + QByteArray::number(elapsedMs) + " ms to end");
        QVERIFY2(asked == questions, where + ": asked " + QByteArray::number(asked) + " times");
        const auto savesNow = [&] {
            return int(m_service->commands().count("SaveSettings")) - savesBefore;
        };
        QVERIFY2(saves > 0 ? waitFor([&] { return savesNow() == saves; }, testtime::scaled(2000))
                           : neverWithin(50, [&] { return savesNow() > 0; }),
                 where);
        QCOMPARE(savesNow(), saves);
        QVERIFY2(m_x.visibleWindows(MainTitle) == 0, where);
    }
}

void TestDesktop::withoutTrayTheWindowStaysReachable()
{
    m_x.stopTrayHost();
    const auto reachable = [this](const QString& window) {
        const QString state = m_x.wmState(window);
        return state == "Normal" || state == "Iconic";
    };
    // From the taskbar, as the window manager brings it back. The window manager
    // may still be busy with the window for a moment, as a hand would be.
    const auto bringBack = [this](const QString& window) {
        const bool back = m_x.xdotool({"windowactivate", window}) &&
                          waitFor([&] { return shownNormalAndActive(window); });
        QTest::qWait(300);
        return back;
    };

    // Started in the tray where there is none: the window is there (on the
    // taskbar) all the same.
    QProcess* program = start({"systray"});
    QVERIFY(
        m_service->waitForExchanges(programundertest::StartUpExchanges, testtime::scaled(15000)));
    QString window;
    QVERIFY(waitFor([&] { return !(window = mainWindow()).isEmpty(); }));
    QVERIFY(waitFor([&] { return reachable(window); }));

    // Closing and minimizing leave it iconified, never withdrawn.
    for (const char* route : {"close box", "minimize", "Cancel"}) {
        QVERIFY2(bringBack(window), route);
        QVERIFY(hide(QString::fromLatin1(route), window));
        QVERIFY2(waitFor([&] { return m_x.wmState(window) == "Iconic"; }), route);
        QTest::qWait(300);
        QVERIFY2(m_x.wmState(window) == "Iconic", route);
    }

    // A notification area that appears later takes the window: the window that
    // waited on the taskbar for one goes to it.
    QVERIFY(m_x.startTrayHost());
    QVERIFY(waitFor([&] { return !iconWindow().isEmpty(); }, testtime::scaled(10000)));
    QVERIFY(waitFor([&] { return hiddenToTray(window); }));
    QVERIFY(showAgain("double click"));
    QVERIFY(waitFor([&] { return shownNormalAndActive(window); }));
    // The window was last minimized by the program itself (no tray then): the
    // window manager may map it iconic once more, and the program shows it again
    // within a second. Cancel is clicked on the settled window, as a hand would.
    QTest::qWait(1000);
    QVERIFY(waitFor([&] { return shownNormalAndActive(window); }));
    QVERIFY(hide("Cancel", window));
    QVERIFY2(waitFor([&] { return hiddenToTray(window); }),
             qPrintable(QStringLiteral("Cancel left the window %1 (viewable %2) at %3")
                            .arg(m_x.wmState(window))
                            .arg(m_x.isViewable(window))
                            .arg(m_x.xdotoolOutput({"getwindowgeometry", window}).join(' '))));
    QVERIFY(showAgain("double click"));
    QVERIFY(waitFor([&] { return shownNormalAndActive(window); }));

    // And Help "Exit" ends it.
    m_x.stopTrayHost();
    QTest::qWait(300);
    QVERIFY(chooseExit("help", window));
    int asked = 0;
    qint64 elapsedMs = 0;
    QVERIFY(waitForEnd(program, "n", &asked, &elapsedMs));
    QCOMPARE(program->exitCode(), 0);
    QCOMPARE(asked, 0);
}

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
