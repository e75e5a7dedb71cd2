#include "main_form/MainForm.h"
#include "shell/Error.h"
#include "shell/InstanceGuard.h"
#include "shell/SessionEndWatcher.h"
#include "shell/Shared.h"
#include "toolkit/DesktopShellActions.h"
#include "toolkit/MessageBoxDialogs.h"
#include "toolkit/SystemTrayIcon.h"
#include "toolkit/TooltipDuration.h"

#include "alerts/MailManager.h"
#include "alerts/MailRuntime.h"

#include <QApplication>
#include <QIcon>
#include <cstring>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    InstanceGuard guard(InstanceGuard::nameFor(QCoreApplication::applicationFilePath()));
    if (!guard.isFirstCopy()) {
        guard.handOver(app.arguments().mid(1));
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

    bool quitRequested = false;
    MainFormContext context;
    context.applicationTitle = applicationTitle;
    context.dialogs = &dialogs;
    context.trayIcon = &trayIcon;
    context.shell = &shell;
    context.createMailManager = [] { return std::make_unique<MailManager>(); };
    context.logFilePath = QCoreApplication::applicationDirPath() + QStringLiteral("/velmora.log");
    context.requestQuit = [&quitRequested] {
        quitRequested = true;
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    };

    TFormMain form(context);
    dialogs.setOwner(&form);
    TFormError errorForm(shell, &form);
    form.setErrorForm(&errorForm);

    QObject::connect(&guard, &InstanceGuard::commandLineReceived, &form,
                     [&form](const QStringList&) { form.ShowVelmora1Click(); });
    SessionEndWatcher sessionEnd;
    QObject::connect(&sessionEnd, &SessionEndWatcher::sessionEnding, &form,
                     [&form] { form.endSession(); });

    if (!startInTray)
        form.show();
    app.exec();
    trayIcon.hide();
    return 0;
}
