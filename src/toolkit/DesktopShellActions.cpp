#include "toolkit/DesktopShellActions.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

void DesktopShellActions::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void DesktopShellActions::openFile(const QString& path)
{
    const QFileInfo file(path);
    // A folder is "executable" too, but it is opened, not started.
    if (file.isFile() && file.isExecutable()) {
        QProcess::startDetached(file.absoluteFilePath(), {});
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

void DesktopShellActions::copyToClipboard(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}
