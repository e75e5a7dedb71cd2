#include "XServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

XServer::XServer() = default;

XServer::~XServer()
{
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(3000))
            m_xvfb.kill();
        m_xvfb.waitForFinished(3000);
    }
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
        m_xvfb.start("Xvfb", {m_display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (!m_xvfb.waitForStarted(5000))
            return false;
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && m_xvfb.state() == QProcess::Running) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
                return true;
            QThread::msleep(20);
        }
        return false;
    }
    return false;
}

bool XServer::xdotool(const QStringList& arguments) const
{
    bool succeeded = false;
    run(arguments, &succeeded);
    return succeeded;
}

QStringList XServer::run(const QStringList& arguments, bool* succeeded) const
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    tool.setProcessEnvironment(env);
    tool.start("xdotool", arguments);
    const bool finished = tool.waitForFinished(10000);
    if (succeeded)
        *succeeded = finished && tool.exitCode() == 0;
    return QString::fromLatin1(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

QStringList XServer::searchVisible(const QString& title) const
{
    return run({"search", "--onlyvisible", "--name", "^" + title + "$"});
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

QString XServer::firstVisibleWindow(const QString& title) const
{
    return searchVisible(title).value(0);
}

int XServer::visibleWindows(const QString& title) const
{
    return int(searchVisible(title).size());
}
