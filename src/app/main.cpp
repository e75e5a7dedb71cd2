#include "main_form/MainForm.h"
#include "shell/CommandLine.h"
#include "shell/Error.h"
#include "shell/InstanceGuard.h"
#include "shell/SessionEndWatcher.h"
#include "shell/Shared.h"
#include "toolkit/AutostartEntry.h"
#include "toolkit/DesktopShellActions.h"
#include "toolkit/MessageBoxDialogs.h"
#include "toolkit/SystemTrayIcon.h"
#include "toolkit/TooltipDuration.h"

#include "alerts/MailManager.h"
#include "alerts/MailRuntime.h"
#include "common/VelmoraPaths.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <cstdio>
#include <cstring>

namespace {

// Without a display Qt would abort; say why instead.
bool displayNamed()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv)
{
    const QString programName = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    switch (commandLineRequest(argc, argv)) {
    case CommandLineRequest::Help:
        std::fputs(commandLineHelp(programName).toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLineRequest::Version:
        std::fputs(commandLineVersion(programName).toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLineRequest::Run:
        break;
    }
    if (!displayNamed()) {
        std::fprintf(
            stderr,
            "%s: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not set)\n",
            programName.toLocal8Bit().constData());
        return 1;
    }

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    // Docks and Wayland compositors find the program's name and icon by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELMORA_DESKTOP_ID));

    InstanceGuard guard(InstanceGuard::nameFor(QCoreApplication::applicationFilePath()));
    if (!guard.isFirstCopy()) {
        guard.handOver(app.arguments().mid(1), qEnvironmentVariable("XDG_ACTIVATION_TOKEN"));
        return 0;
    }

    ProductTitle = QString::fromLatin1(ProductName);
    const bool startInTray = argc > 1 && std::strcmp(argv[1], "systray") == 0;
    MailRuntime mailRuntime;
    app.installEventFilter(new TooltipDuration(30000, &app));

    Q_INIT_RESOURCE(velmora);
    const QString applicationTitle = applicationTitleFor(QCoreApplication::applicationFilePath());
    MessageBoxDialogs dialogs(applicationTitle);
    DesktopShellActions shell;
    SystemTrayIcon trayIcon(QIcon(QStringLiteral(":/icons/tray.svg")));
    AutostartEntry autostart = AutostartEntry::forThisUser(
        QStringLiteral(VELMORA_DESKTOP_ID),
        {QCoreApplication::applicationFilePath(), QStringLiteral("systray")});

    // Ending stops the event loop directly: quit() would first ask the window to
    // close, and the window only hides when asked.
    bool ending = false;
    MainFormContext context;
    context.applicationTitle = applicationTitle;
    context.dialogs = &dialogs;
    context.trayIcon = &trayIcon;
    context.shell = &shell;
    context.autostart = &autostart;
    context.createMailManager = [] { return std::make_unique<MailManager>(); };
    context.logFilePath = velmorapaths::historyLog();
    context.pushHelper =
        QDir::cleanPath(QCoreApplication::applicationDirPath() +
                        QStringLiteral("/" VELMORA_HELPER_FROM_BINDIR "/velmora-send-push"));
    context.requestQuit = [&ending] {
        ending = true;
        QCoreApplication::exit(0);
    };

    TFormMain form(context);
    dialogs.setOwner(&form);
    TFormError errorForm(shell, &form);
    form.setErrorForm(&errorForm);
    // The service could not be reached while the window was made: the user has
    // been told, and nothing of the window is worth showing.
    if (ending)
        return 0;

    QObject::connect(&guard, &InstanceGuard::commandLineReceived, &form,
                     [&form](const QStringList&, const QString& activationToken) {
                         // Spent by the window's activation on Wayland.
                         if (!activationToken.isEmpty())
                             qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
                         form.ShowVelmora1Click();
                     });
    SessionEndWatcher sessionEnd;
    QObject::connect(&sessionEnd, &SessionEndWatcher::sessionEnding, &form,
                     [&form] { form.endSession(); });

    form.showAtStart(startInTray);
    app.exec();
    trayIcon.hide();
    return 0;
}
