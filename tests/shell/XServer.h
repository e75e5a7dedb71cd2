#pragma once

#include <QProcess>
#include <QSize>
#include <QString>

// A private Xvfb display for one test, with xdotool to look at its windows and,
// where a test asks, a window manager (openbox) and a notification area (trayer),
// as on a desktop.
class XServer
{
public:
    XServer();
    ~XServer();

    bool start(); // false when Xvfb is missing or does not come up
    QString display() const { return m_display; }

    // Map and iconic-state changes then arrive as on a desktop: late and in the
    // window manager's own order. openbox unless another is given; false when it
    // is missing or does not start.
    bool startWindowManager(const QString& program = QStringLiteral("openbox"),
                            const QStringList& arguments = {QStringLiteral("--sm-disable")});
    // trayer, an XEmbed notification area, along the top edge.
    bool startTrayHost();
    void stopTrayHost();
    bool trayHostRuns() const { return m_trayHost.state() == QProcess::Running; }

    // Visible top-level windows whose title matches the pattern exactly.
    int visibleWindows(const QString& title) const;
    QString firstVisibleWindow(const QString& title) const;
    QStringList visibleWindowsNamed(const QString& pattern) const;
    QStringList visibleWindowsOfClass(const QString& windowClass) const;
    // Top-level windows whose title matches, shown or not.
    QStringList windowsNamed(const QString& title) const;
    QSize windowSize(const QString& window) const;
    // A program's icon in the notification area: a small shown window of its class.
    QString trayIconOf(const QString& windowClass) const;
    // A program's main window: one of that title larger than the 1x1 client leader
    // window Qt also names after the program.
    QString mainWindowNamed(const QString& title) const;
    bool xdotool(const QStringList& arguments) const;

    // What the window system says of a window: whether it is viewable, its
    // WM_STATE ("Normal", "Iconic", or empty once withdrawn), and the window that
    // has the focus.
    bool isViewable(const QString& window) const;
    QString wmState(const QString& window) const;
    QString activeWindow() const;
    // Asks the window manager to close a window, as its close box does.
    bool closeWindow(const QString& window) const;

    // What xdotool prints, line by line.
    QStringList xdotoolOutput(const QStringList& arguments) const { return run(arguments); }

private:
    QStringList searchVisible(const QString& title) const;
    QStringList run(const QStringList& arguments, bool* succeeded = nullptr) const;
    QStringList runTool(const QString& tool, const QStringList& arguments,
                        bool* succeeded = nullptr) const;
    bool startHelper(QProcess& process, const QString& program, const QStringList& arguments);

    QProcess m_xvfb;
    QProcess m_windowManager;
    QProcess m_trayHost;
    QString m_display;
};
