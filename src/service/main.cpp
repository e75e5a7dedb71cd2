#include "common/ErrorText.h"
#include "common/VelmoraPaths.h"
#include "service/InstanceLock.h"
#include "service/ServiceApp.h"
#include "service/ServiceOptions.h"
#include "service/ServiceStop.h"
#include "service/ShutdownSignals.h"
#include "service/base/ServiceError.h"
#include "service/base/ServiceLog.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

int stop(const ServiceOptions& options)
{
    const StopResult result = stopRunningService(options.lockFile, options.stopWait);
    switch (result.outcome) {
    case StopResult::Stopped:
        logLine(LogLevel::Notice,
                QStringLiteral("stopped the service (process %1)").arg(result.processId));
        return exitcode::Done;
    case StopResult::NotRunning:
        logLine(LogLevel::Notice, QStringLiteral("no service was running for this user"));
        return exitcode::NotRunning;
    case StopResult::NotStopped:
        break;
    }
    logLine(LogLevel::Error, QStringLiteral("the service (process %1) has not stopped: %2")
                                 .arg(result.processId)
                                 .arg(result.reason));
    return exitcode::Failed;
}

} // namespace

int main(int argc, char* argv[])
{
    // Before any thread exists, so that no thread takes the signals itself.
    ShutdownSignals::blockInProcess();
    // Qt's own event loop instead of GLib's: the service needs nothing of GLib,
    // which would only add to what stays in memory. Unset again at once, so
    // that the programs the service starts do not inherit it.
    const bool alreadySet = qEnvironmentVariableIsSet("QT_NO_GLIB");
    if (!alreadySet)
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    if (!alreadySet)
        qunsetenv("QT_NO_GLIB");
    QCoreApplication::setApplicationName(QStringLiteral("velmora-service"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_SERVICE_VERSION));

    try {
        const CommandLine commandLine = parseCommandLine(QCoreApplication::arguments());
        switch (commandLine.action) {
        case CommandLine::Action::ShowHelp:
        case CommandLine::Action::ShowVersion:
            std::fputs(commandLine.text.toLocal8Bit().constData(), stdout);
            return exitcode::Done;
        case CommandLine::Action::QueryRunning:
            return InstanceLock::holder(commandLine.options.lockFile) ? exitcode::Done
                                                                      : exitcode::Failed;
        case CommandLine::Action::Stop:
            return stop(commandLine.options);
        case CommandLine::Action::Run:
            break;
        }
        // The XDG rules want a word when the runtime folder is missing or unfit.
        const QString runtime = velmorapaths::runtimeDir();
        if (runtime.isEmpty())
            logLine(LogLevel::Warning,
                    QStringLiteral("XDG_RUNTIME_DIR is not set: the lock is %1 instead")
                        .arg(commandLine.options.lockFile));
        else if (!velmorapaths::isPrivateFolder(runtime))
            logLine(LogLevel::Warning,
                    QStringLiteral("XDG_RUNTIME_DIR (%1) is not this user's own folder closed to "
                                   "others (mode 0700): the lock is %2 instead")
                        .arg(runtime, commandLine.options.lockFile));
        return ServiceApp(commandLine.options).run();
    } catch (const UsageError& e) {
        logLine(LogLevel::Error, QStringLiteral("%1 (see --help)").arg(errorText(e)));
        return exitcode::BadUsage;
    } catch (const AlreadyRunningError& e) {
        logLine(LogLevel::Error, errorText(e));
        return exitcode::AlreadyRunning;
    } catch (const PortHeldError& e) {
        logLine(LogLevel::Error, errorText(e));
        return exitcode::PortHeld;
    } catch (const SetupError& e) {
        logLine(LogLevel::Error, errorText(e));
        return exitcode::SetupFailed;
    } catch (const std::exception& e) {
        logLine(LogLevel::Error, errorText(e));
        return exitcode::Failed;
    }
}
