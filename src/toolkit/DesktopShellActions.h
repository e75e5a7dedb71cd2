#pragma once

#include "toolkit/ShellActions.h"

// Shell actions on QDesktopServices, QProcess and the system clipboard.
class DesktopShellActions : public ShellActions
{
public:
    void openUrl(const QUrl& url) override;
    void openFile(const QString& path) override;
    void copyToClipboard(const QString& text) override;
};
