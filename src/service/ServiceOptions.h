#pragma once

#include "common/FtpPort.h"
#include "common/ServiceProtocol.h"
#include "common/TimeLimits.h"
#include "helpers/EchoSource.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <optional>

// What the command line sets. The defaults are the ones a user's session runs
// with; the timing options exist so that the tests need not wait minutes.
struct ServiceOptions
{
    quint16 port = service::Port;
    QString configDir; // settings, carriers, echo URLs, the FTP page template
    QString stateDir;  // the addresses last seen, the alerts still to send
    QString logFile;   // the history log
    QString lockFile;  // held while the service runs
    // Where earlier versions wrote the history log, beside the program: moved to
    // logFile at start. Empty when the log is given on the command line.
    QString formerLogFile;
    QList<EchoSource> echoUrls; // empty: the configured or built-in list
    // Empty: the settings file's interval (see PublicCheckInterval).
    std::optional<std::chrono::milliseconds> echoInterval;
    std::chrono::milliseconds echoMinGap{std::chrono::minutes(1)};
    std::chrono::milliseconds echoTimeout{timelimits::EchoAnswer};
    // How long a local change waits for the public check it brings, so that a
    // move to another network is one change.
    std::chrono::milliseconds moveWait{std::chrono::seconds(15)};
    std::chrono::milliseconds localCheckInterval{std::chrono::minutes(1)};
    std::chrono::milliseconds requestTimeout{std::chrono::seconds(5)};
    // The waits before the alerts' second, third... attempts.
    QList<std::chrono::milliseconds> alertRetryDelays{
        std::chrono::minutes(1), std::chrono::minutes(5), std::chrono::minutes(15)};
    quint16 ftpPort = DefaultFtpPort; // where the FTP page goes
    // The limit for one push notification's whole exchange (whole seconds).
    std::chrono::milliseconds pushTimeout{timelimits::Push};
    // How long --stop waits for the service to end: longer than the service
    // gives the alerts under way when it stops.
    std::chrono::milliseconds stopWait{std::chrono::seconds(10)};
};

struct CommandLine
{
    enum class Action
    {
        Run,
        ShowHelp,
        ShowVersion,
        QueryRunning,
        Stop
    };
    Action action = Action::Run;
    ServiceOptions options;
    QString text; // the help or version text
};

// Reads the arguments (the first is the program). Throws UsageError with a
// one-line message on an unknown option or a bad value.
CommandLine parseCommandLine(const QStringList& arguments);

// The exit codes, which the help lists.
namespace exitcode {
constexpr int Done = 0;
constexpr int Failed = 1; // --is-running: no service runs; --stop: it did not stop
constexpr int BadUsage = 2;
constexpr int AlreadyRunning = 3;
constexpr int PortHeld = 4;    // another program (another user's service) holds the port
constexpr int SetupFailed = 5; // a folder or the lock file cannot be made or used
constexpr int NotRunning = 7;  // --stop: there was no service to stop
} // namespace exitcode
