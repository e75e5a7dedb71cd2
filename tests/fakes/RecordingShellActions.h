#pragma once

#include "toolkit/ShellActions.h"

#include <QList>
#include <QStringList>

// Shell actions that only record what was asked of them.
class RecordingShellActions : public ShellActions
{
public:
    void openUrl(const QUrl& url) override { urls.append(url); }
    void openFile(const QString& path) override { files.append(path); }
    void copyToClipboard(const QString& text) override { clipboard.append(text); }

    QList<QUrl> urls;
    QStringList files;
    QStringList clipboard;
};
