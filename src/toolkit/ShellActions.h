#pragma once

#include <QString>
#include <QUrl>

// What the window asks of the desktop: web pages, files, the clipboard.
class ShellActions
{
public:
    virtual ~ShellActions();

    // Opens a web page in the default browser; failures are not reported.
    virtual void openUrl(const QUrl& url) = 0;
    // Carries out a file's default action: an executable file is started directly
    // (no shell, no arguments), any other file opened with its associated program.
    virtual void openFile(const QString& path) = 0;
    virtual void copyToClipboard(const QString& text) = 0;
};
