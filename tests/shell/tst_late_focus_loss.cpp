#include "support/Absence.h"
#include "support/TestTime.h"
#include "toolkit/LateFocusLoss.h"

#include <QApplication>
#include <QMenu>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <QtTest>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Qt on X11 hears that the program lost the focus only after a grace of 400 ms,
// in case the focus comes back to another of its windows, and later still when
// the program is busy; the news then closes every open menu. A menu opened in
// that time, such as the icon's menu right after the window went to the tray,
// was closed by news older than itself. Here the program is this test, on an X
// server of its own, made busy on purpose at the moment that matters.
class TestLateFocusLoss : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void menuOpenedBeforeTheNewsStaysOpen_data();
    void menuOpenedBeforeTheNewsStaysOpen();
    void menuClosedByTheUserStaysClosed();
    void menuOpenedWhileFocusedClosesWhenTheFocusGoes();

private:
    bool focusTheWindow();
    // The window had the focus and was hidden: the focus is gone, but the
    // program has not yet been told.
    bool loseTheFocusWithoutBeingTold();

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<QMenu> m_menu;
};

namespace {

void focusTheRootWindow()
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, root, XCB_CURRENT_TIME);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    xcb_disconnect(connection);
}

} // namespace

void TestLateFocusLoss::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(300, 200);
    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(QStringLiteral("Show"));
    m_menu->addAction(QStringLiteral("Exit"));
    keepOpenThroughLateFocusLoss(m_menu.get());
}

void TestLateFocusLoss::cleanup()
{
    m_menu.reset();
    m_window.reset();
    // Whatever a test left pending is told before the next one starts.
    QTest::qWait(600);
}

bool TestLateFocusLoss::focusTheWindow()
{
    m_window->show();
    m_window->activateWindow();
    return waitFor([&] { return QGuiApplication::focusWindow() == m_window->windowHandle(); });
}

bool TestLateFocusLoss::loseTheFocusWithoutBeingTold()
{
    // A machine too busy to catch the moment tells the program at once; it is
    // tried again after that news has come.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        if (!focusTheWindow())
            return false;
        m_window->hide();
        // The X server's notice that the focus left is read; Qt's grace starts.
        QTest::qWait(50);
        if (QGuiApplication::focusWindow() == m_window->windowHandle())
            return true;
        QTest::qWait(600);
    }
    return false;
}

void TestLateFocusLoss::menuOpenedBeforeTheNewsStaysOpen_data()
{
    // How long the program is busy after the menu opened: past the grace, the
    // news of the loss comes before the menu's own notice that it has the input.
    QTest::addColumn<int>("busyMs");
    QTest::newRow("busy past the grace") << 600;
    QTest::newRow("not busy") << 0;
}

void TestLateFocusLoss::menuOpenedBeforeTheNewsStaysOpen()
{
    QFETCH(int, busyMs);
    QVERIFY2(loseTheFocusWithoutBeingTold(), "the program was told of the loss at once");
    m_menu->popup(QPoint(400, 300));
    QVERIFY(m_menu->isVisible());
    QThread::msleep(static_cast<unsigned long>(busyMs));
    // Whatever the order of the news, the menu ends open, holding the input.
    QTest::qWait(700);
    QVERIFY2(m_menu->isVisible(), "the menu closed by itself");
    QVERIFY(neverWithin(300, [&] { return !m_menu->isVisible(); }));
    QCOMPARE(QApplication::activePopupWidget(), m_menu.get());
    QCOMPARE(QGuiApplication::applicationState(), Qt::ApplicationActive);
}

void TestLateFocusLoss::menuClosedByTheUserStaysClosed()
{
    QVERIFY(loseTheFocusWithoutBeingTold());
    m_menu->popup(QPoint(400, 300));
    QVERIFY(m_menu->isVisible());
    QTest::keyClick(m_menu.get(), Qt::Key_Escape);
    QVERIFY(!m_menu->isVisible());
    QThread::msleep(600);
    QVERIFY(neverWithin(700, [&] { return m_menu->isVisible(); }));
}

void TestLateFocusLoss::menuOpenedWhileFocusedClosesWhenTheFocusGoes()
{
    // Only news older than the menu is set aside: a menu opened while the
    // program had the focus for real closes as usual when the program loses it.
    QVERIFY(focusTheWindow());
    m_menu->popup(QPoint(400, 300));
    QVERIFY(m_menu->isVisible());
    QVERIFY(waitFor([&] { return QGuiApplication::focusWindow() == m_menu->windowHandle(); }));
    // Another client gives the focus to the root window, as a window manager
    // does for a window of its own.
    focusTheRootWindow();
    QVERIFY2(waitFor([&] { return !m_menu->isVisible(); }), "the menu stayed open");
    QVERIFY(neverWithin(700, [&] { return m_menu->isVisible(); }));
}

namespace {

// An X server of the test's own, started before the application connects.
pid_t startXvfb()
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    if (pid < 0) {
        close(ready[0]);
        return -1;
    }
    // Xvfb writes its display number once it takes clients.
    std::string number;
    char c = 0;
    while (read(ready[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(ready[0]);
    if (number.empty()) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return -1;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
    return pid;
}

} // namespace

int main(int argc, char** argv)
{
    const pid_t xvfb = startXvfb();
    if (xvfb < 0) {
        std::fputs("SKIP: Xvfb is needed to run the test on a display of its own\n", stdout);
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 0;
    {
        QApplication app(argc, argv);
        TestLateFocusLoss test;
        result = QTest::qExec(&test, argc, argv);
    }
    kill(xvfb, SIGTERM);
    waitpid(xvfb, nullptr, 0);
    return result;
}

#include "tst_late_focus_loss.moc"
