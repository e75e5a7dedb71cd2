#pragma once

#include <QProcess>
#include <QSize>
#include <QString>

// A private Xvfb display for one test, with xdotool to look at its windows.
class XServer
{
public:
    XServer();
    ~XServer();

    bool start(); // false when Xvfb is missing or does not come up
    QString display() const { return m_display; }

    // Visible top-level windows whose title matches the pattern exactly.
    int visibleWindows(const QString& title) const;
    QString firstVisibleWindow(const QString& title) const;
    QStringList visibleWindowsNamed(const QString& pattern) const;
    QStringList visibleWindowsOfClass(const QString& windowClass) const;
    QSize windowSize(const QString& window) const;
    bool xdotool(const QStringList& arguments) const;

private:
    QStringList searchVisible(const QString& title) const;
    QStringList run(const QStringList& arguments, bool* succeeded = nullptr) const;

    QProcess m_xvfb;
    QString m_display;
};
