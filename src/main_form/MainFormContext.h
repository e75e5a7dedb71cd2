#pragma once

#include "common/FtpPort.h"
#include "common/ServiceProtocol.h"
#include "service_link/TcpClient.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>

class AbstractMailManager;
class AutostartEntry;
class Dialogs;
class ShellActions;
class TrayIcon;

// Everything the main window takes from outside. The program wires the real
// pieces; tests wire a scripted service, scripted dialogs, a fake tray and a clock.
struct MainFormContext
{
    QString serviceHost = QString::fromLatin1(service::Host);
    quint16 servicePort = service::Port;
    // How long one exchange with the service may take.
    std::chrono::milliseconds serviceTimeLimit = TcpClient::DefaultTimeLimit;
    QString applicationTitle;
    Dialogs* dialogs = nullptr;
    TrayIcon* trayIcon = nullptr;
    ShellActions* shell = nullptr;
    // The program's start at log-on; without it the option is not offered.
    AutostartEntry* autostart = nullptr;
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };
    // The history log the service writes, in the user's state folder.
    QString logFilePath;
    // Makes the mail engine for one test send.
    std::function<std::unique_ptr<AbstractMailManager>()> createMailManager;
    // Ends the program: its event loop stops (at once, or as soon as it runs)
    // without asking the window to close.
    std::function<void()> requestQuit;
    // The FTP page's server port. The program always uses the standard one;
    // tests point it at a server of their own.
    quint16 ftpPort = DefaultFtpPort;
    // The program that sends the test push notification (velmora-send-push),
    // and the command it sends Apprise URLs through.
    QString pushHelper;
    QString appriseProgram = QStringLiteral("apprise");
};
