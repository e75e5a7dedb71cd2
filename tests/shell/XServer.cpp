#include "XServer.h"

#include "ProgramUnderTest.h"
#include "support/TestTime.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

XServer::XServer() = default;

XServer::~XServer()
{
    programundertest::stop(m_trayHost);
    programundertest::stop(m_windowManager);
    programundertest::stop(m_xvfb);
}

bool XServer::start()
{
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
        return false;
    for (int number = 140 + (QCoreApplication::applicationPid() % 50); number < 400; ++number) {
        if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
            QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        m_display = QStringLiteral(":%1").arg(number);
        // -noreset: the server would otherwise reset whenever its last client
        // leaves, and turn away whoever connects meanwhile.
        m_xvfb.start("Xvfb",
                     {m_display, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
        if (!m_xvfb.waitForStarted(testtime::scaled(5000)))
            return false;
        const QDeadlineTimer deadline(testtime::scaled(10000));
        // Up once a client can talk to it: its socket may exist a moment before.
        while (!deadline.hasExpired() && m_xvfb.state() == QProcess::Running) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) &&
                xdotool({"getmouselocation"}))
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    return false;
}

bool XServer::startHelper(QProcess& process, const QString& program, const QStringList& arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    env.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForStarted(testtime::scaled(5000));
}

bool XServer::startWindowManager(const QString& program, const QStringList& arguments)
{
    if (QStandardPaths::findExecutable("xprop").isEmpty() ||
        !startHelper(m_windowManager, program, arguments))
        return false;
    // The window manager is ready once it has announced itself on the root window.
    const QDeadlineTimer deadline(testtime::scaled(10000));
    while (!deadline.hasExpired() && m_windowManager.state() == QProcess::Running) {
        const QStringList lines = runTool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"});
        if (!lines.isEmpty() && lines.first().contains("window id"))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool XServer::startTrayHost()
{
    // trayer now and then dies as it starts; a second try comes up.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!startHelper(m_trayHost, "trayer",
                         {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                          "100", "--heighttype", "pixel", "--height", "32"}))
            return false;
        const QDeadlineTimer deadline(testtime::scaled(5000));
        while (!deadline.hasExpired() && m_trayHost.state() == QProcess::Running) {
            if (!run({"search", "--onlyvisible", "--class", "^trayer$"}).isEmpty()) {
                // It takes the notification area's selection just after its panel
                // shows; a program started before would find no tray.
                QThread::msleep(500);
                return true;
            }
            QThread::msleep(50);
        }
        programundertest::stop(m_trayHost);
    }
    return false;
}

void XServer::stopTrayHost()
{
    programundertest::stop(m_trayHost);
}

bool XServer::xdotool(const QStringList& arguments) const
{
    bool succeeded = false;
    run(arguments, &succeeded);
    return succeeded;
}

QStringList XServer::run(const QStringList& arguments, bool* succeeded) const
{
    return runTool("xdotool", arguments, succeeded);
}

QStringList XServer::runTool(const QString& program, const QStringList& arguments,
                             bool* succeeded) const
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    tool.setProcessEnvironment(env);
    tool.start(program, arguments);
    const bool finished = tool.waitForFinished(testtime::scaled(10000));
    if (succeeded)
        *succeeded = finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    return QString::fromLatin1(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

QStringList XServer::searchVisible(const QString& title) const
{
    return run({"search", "--onlyvisible", "--name", "^" + title + "$"});
}

QStringList XServer::windowsNamed(const QString& title) const
{
    return run({"search", "--name", "^" + title + "$"});
}

QStringList XServer::visibleWindowsOfClass(const QString& windowClass) const
{
    return run({"search", "--onlyvisible", "--class", "^" + windowClass + "$"});
}

QStringList XServer::visibleWindowsNamed(const QString& pattern) const
{
    return searchVisible(pattern);
}

QSize XServer::windowSize(const QString& window) const
{
    int width = 0, height = 0;
    for (const QString& line : run({"getwindowgeometry", "--shell", window})) {
        if (line.startsWith("WIDTH="))
            width = line.mid(6).toInt();
        else if (line.startsWith("HEIGHT="))
            height = line.mid(7).toInt();
    }
    return {width, height};
}

QString XServer::trayIconOf(const QString& windowClass) const
{
    for (const QString& window : visibleWindowsOfClass(windowClass)) {
        const QSize size = windowSize(window);
        if (size.width() > 0 && size.width() <= 64 && size.height() <= 64)
            return window;
    }
    return {};
}

QString XServer::mainWindowNamed(const QString& title) const
{
    for (const QString& window : windowsNamed(title))
        if (windowSize(window).width() > 100)
            return window;
    return {};
}

QString XServer::firstVisibleWindow(const QString& title) const
{
    return searchVisible(title).value(0);
}

int XServer::visibleWindows(const QString& title) const
{
    return int(searchVisible(title).size());
}

bool XServer::isViewable(const QString& window) const
{
    for (const QString& line : runTool("xwininfo", {"-id", window}))
        if (line.trimmed().startsWith("Map State:"))
            return line.contains("IsViewable");
    return false;
}

QString XServer::wmState(const QString& window) const
{
    static const QRegularExpression state(QStringLiteral("window state: (\\w+)"));
    for (const QString& line : runTool("xprop", {"-id", window, "WM_STATE"})) {
        const QRegularExpressionMatch match = state.match(line);
        if (match.hasMatch())
            return match.captured(1);
    }
    return {};
}

QString XServer::activeWindow() const
{
    return run({"getactivewindow"}).value(0);
}

bool XServer::closeWindow(const QString& window) const
{
    bool succeeded = false;
    runTool("wmctrl", {"-i", "-c", window}, &succeeded);
    return succeeded;
}
