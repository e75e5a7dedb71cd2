#include "common/ErrorText.h"
#include "common/VelmoraPaths.h"
#include "service/InstanceLock.h"
#include "service/ServiceApp.h"
#include "service/ServiceError.h"
#include "service/ServiceLog.h"
#include "service/ServiceOptions.h"
#include "service/ShutdownSignals.h"
#include "service/addresses/IsolatedAddressCheck.h"
#include "service/settings/EchoUrlList.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

// Exit codes besides 0: a failure, a bad command line, a service already running.
constexpr int Failed = 1;
constexpr int BadUsage = 2;
constexpr int AlreadyRunning = 3;

} // namespace

int main(int argc, char* argv[])
{
    // Before any thread exists, so that no thread takes the signals itself.
    ShutdownSignals::blockInProcess();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-service"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_SERVICE_VERSION));

    try {
        const CommandLine commandLine = parseCommandLine(QCoreApplication::arguments());
        switch (commandLine.action) {
        case CommandLine::Action::ShowHelp:
        case CommandLine::Action::ShowVersion:
            std::fputs(commandLine.text.toLocal8Bit().constData(), stdout);
            return 0;
        case CommandLine::Action::QueryRunning:
            return InstanceLock::holder(commandLine.options.lockFile) ? 0 : 1;
        case CommandLine::Action::CheckPublicAddress: {
            ShutdownSignals::unblockInProcess();
            const ServiceOptions& options = commandLine.options;
            return IsolatedAddressCheck::runHelper(
                options.echoUrls.isEmpty() ? echourls::load(options.configDir) : options.echoUrls,
                options.echoTimeout);
        }
        case CommandLine::Action::Run:
            break;
        }
        // The XDG rules want a word when the runtime folder is missing.
        if (velmorapaths::runtimeDir().isEmpty())
            logLine(QStringLiteral("XDG_RUNTIME_DIR is not set: the lock is %1 instead")
                        .arg(commandLine.options.lockFile));
        return ServiceApp(commandLine.options).run();
    } catch (const UsageError& e) {
        logLine(QStringLiteral("%1 (see --help)").arg(errorText(e)));
        return BadUsage;
    } catch (const AlreadyRunningError& e) {
        logLine(errorText(e));
        return AlreadyRunning;
    } catch (const std::exception& e) {
        logLine(errorText(e));
        return Failed;
    }
}
