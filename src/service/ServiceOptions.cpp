#include "service/ServiceOptions.h"

#include "common/SettingTable.h"
#include "common/VelmoraPaths.h"
#include "service/addresses/PublicCheckInterval.h"
#include "service/base/ServiceError.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <optional>

namespace {

[[noreturn]] void usageError(const QString& message)
{
    throw UsageError(message.toStdString());
}

QString nameOf(const QCommandLineOption& option)
{
    return option.names().first();
}

QString secondsText(std::chrono::milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0);
}

// A number of seconds from `minimum` up to a year.
std::optional<std::chrono::milliseconds> readSeconds(const QString& text, double minimum)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value < minimum || value > 365.0 * 24 * 3600)
        return std::nullopt;
    return std::chrono::milliseconds(qint64(value * 1000.0 + 0.5));
}

// An option that takes seconds; `help` shows the default where it says %1.
QCommandLineOption secondsOption(const char* name, const QString& help, const QString& defaultValue)
{
    return QCommandLineOption(QLatin1String(name), help.arg(defaultValue),
                              QStringLiteral("seconds"), defaultValue);
}

std::chrono::milliseconds secondsValue(const QCommandLineParser& parser,
                                       const QCommandLineOption& option, double minimum)
{
    const std::optional<std::chrono::milliseconds> value =
        readSeconds(parser.value(option), minimum);
    if (!value)
        usageError(QStringLiteral("--%1 needs a number of seconds of at least %2, not '%3'")
                       .arg(nameOf(option))
                       .arg(minimum)
                       .arg(parser.value(option)));
    return *value;
}

QList<std::chrono::milliseconds> secondsListValue(const QCommandLineParser& parser,
                                                  const QCommandLineOption& option)
{
    QList<std::chrono::milliseconds> list;
    for (const QString& text : parser.value(option).split(u',', Qt::SkipEmptyParts)) {
        const std::optional<std::chrono::milliseconds> value = readSeconds(text.trimmed(), 0);
        if (!value)
            usageError(QStringLiteral("--%1 needs comma-separated numbers of seconds, not '%2'")
                           .arg(nameOf(option), parser.value(option)));
        list.append(*value);
    }
    return list;
}

quint16 portValue(const QCommandLineParser& parser, const QCommandLineOption& option)
{
    bool ok = false;
    const uint port = parser.value(option).toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        usageError(QStringLiteral("--%1 needs a port number from 1 to 65535, not '%2'")
                       .arg(nameOf(option), parser.value(option)));
    return quint16(port);
}

// What the exit codes mean, after the options in the help.
QString exitStatusHelp(const ServiceOptions& defaults)
{
    return QStringLiteral(
               "\nExit status:\n"
               "  %1  done; --is-running: the service runs; --stop: it ran and has stopped\n"
               "  %2  failed; --is-running: no service runs; --stop: it was still running "
               "after %3 s\n"
               "  %4  bad command line\n"
               "  %5  the service already runs for this user\n"
               "  %6  another program (another user's service) holds the port\n"
               "  %7  a folder or the lock file cannot be made or used\n"
               "  %8  --stop: no service was running for this user\n")
        .arg(exitcode::Done)
        .arg(exitcode::Failed)
        .arg(secondsText(defaults.stopWait))
        .arg(exitcode::BadUsage)
        .arg(exitcode::AlreadyRunning)
        .arg(exitcode::PortHeld)
        .arg(exitcode::SetupFailed)
        .arg(exitcode::NotRunning);
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    // The defaults are those of ServiceOptions; the help shows them.
    const ServiceOptions defaults;
    QStringList defaultRetryDelays;
    for (const std::chrono::milliseconds delay : defaults.alertRetryDelays)
        defaultRetryDelays << secondsText(delay);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Keeps Velmora's alert settings, watches this computer's public and local "
                       "IP addresses and records every change. The Velmora window talks to it on "
                       "%1.\n\nThe public address is asked of DNS servers that answer with the "
                       "asker's address (by default OpenDNS, Google, Cloudflare and Akamai; "
                       "dns-sources.txt in the config folder changes them), then of HTTPS echo "
                       "services (echo-urls.txt); a new address counts when two sources of "
                       "different operators agree. It is checked every %2 s by default (the "
                       "settings file's %3), after every change of the local address, when the "
                       "router announces a new address and after a wake from sleep.")
            .arg(QLatin1String(service::Host),
                 QLatin1String(settingtable::info(Setting::PublicCheckInterval).defaultValue),
                 QLatin1String(settingtable::info(Setting::PublicCheckInterval).fileKey)));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption isRunning(
        QStringLiteral("is-running"),
        QStringLiteral("Exit with 0 when the service runs for this user, 1 otherwise."));
    const QCommandLineOption stop(
        QStringLiteral("stop"),
        QStringLiteral("Stop the service running for this user and wait until it has ended (at "
                       "most %1 s).")
            .arg(secondsText(defaults.stopWait)));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Listen on %1:<port> (default %2).")
                                      .arg(QLatin1String(service::Host))
                                      .arg(defaults.port),
                                  QStringLiteral("port"), QString::number(defaults.port));
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QStringLiteral("Keep the settings in <dir> (default $XDG_CONFIG_HOME/velmora, or "
                       "~/.config/velmora)."),
        QStringLiteral("dir"));
    const QCommandLineOption logFile(
        QStringLiteral("log-file"),
        QStringLiteral("Write the history to <file> (default $XDG_STATE_HOME/velmora/velmora.log, "
                       "or ~/.local/state/velmora/velmora.log, where the window reads it)."),
        QStringLiteral("file"));
    const QCommandLineOption echoUrl(
        QStringLiteral("echo-url"),
        QStringLiteral("Ask <url> for the public address; may be given more than once, and "
                       "followed by a blank and the name of its operator. A new address counts "
                       "when two sources of different operators agree on it. Replaces "
                       "echo-urls.txt in the config folder and the built-in list."),
        QStringLiteral("url"));
    const QCommandLineOption echoInterval(
        QStringLiteral("echo-interval"),
        QStringLiteral("Check the public address every <seconds>, whatever the settings file "
                       "says (by default its %1 setting: every %2 s, at least %3 s). Also after "
                       "every change of the local address and every wake from sleep.")
            .arg(QLatin1String(settingtable::info(Setting::PublicCheckInterval).fileKey),
                 QLatin1String(settingtable::info(Setting::PublicCheckInterval).defaultValue))
            .arg(publicinterval::Least.count()),
        QStringLiteral("seconds"));
    const QCommandLineOption echoMinGap = secondsOption(
        "echo-min-gap", QStringLiteral("Leave at least <seconds> between two checks (default %1)."),
        secondsText(defaults.echoMinGap));
    const QCommandLineOption echoTimeout = secondsOption(
        "echo-timeout", QStringLiteral("Give each echo URL <seconds> to answer (default %1)."),
        secondsText(defaults.echoTimeout));
    const QCommandLineOption moveWait = secondsOption(
        "move-wait",
        QStringLiteral("After a change of the local address, wait up to <seconds> for the public "
                       "address to be checked, so that a move to another network is recorded as "
                       "one change (default %1)."),
        secondsText(defaults.moveWait));
    const QCommandLineOption localInterval =
        secondsOption("local-check-interval",
                      QStringLiteral("Re-read the local address every <seconds> besides the "
                                     "change notices (default %1)."),
                      secondsText(defaults.localCheckInterval));
    const QCommandLineOption requestTimeout =
        secondsOption("request-timeout",
                      QStringLiteral("Close a connection whose request is not complete after "
                                     "<seconds> (default %1), or after one second while many "
                                     "are waiting."),
                      secondsText(defaults.requestTimeout));
    const QCommandLineOption retryDelays = secondsOption(
        "alert-retry-delays",
        QStringLiteral("Try a failed alert again after each of these comma-separated numbers of "
                       "seconds, then give it up (default %1). While the public address cannot "
                       "be checked, a failed alert waits for the network instead."),
        defaultRetryDelays.join(u','));
    QCommandLineOption ftpPort(QStringLiteral("ftp-port"),
                               QStringLiteral("Upload the FTP page to this port."),
                               QStringLiteral("port"), QString::number(defaults.ftpPort));
    ftpPort.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption pushTimeout = secondsOption(
        "push-timeout",
        QStringLiteral("Give a push notification <seconds> (whole, default %1) to be delivered."),
        secondsText(defaults.pushTimeout));
    pushTimeout.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({isRunning, stop, port, configDir, logFile, echoUrl, echoInterval, echoMinGap,
                       echoTimeout, moveWait, localInterval, requestTimeout, retryDelays, ftpPort,
                       pushTimeout});

    if (!parser.parse(arguments))
        usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    CommandLine result;
    // --help-all, which the help lists, is the same help: the service has no other options.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = CommandLine::Action::ShowHelp;
        result.text = parser.helpText() + exitStatusHelp(defaults);
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = QCoreApplication::applicationName() + QLatin1Char(' ') +
                      QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(isRunning))
        result.action = CommandLine::Action::QueryRunning;
    if (parser.isSet(stop))
        result.action = CommandLine::Action::Stop;

    ServiceOptions& options = result.options;
    options.port = portValue(parser, port);
    options.configDir =
        parser.isSet(configDir) ? parser.value(configDir) : velmorapaths::configDir();
    options.configDir = QDir::cleanPath(QDir(options.configDir).absolutePath());
    options.stateDir = velmorapaths::stateDir();
    options.lockFile = velmorapaths::serviceLock();
    if (parser.isSet(logFile)) {
        options.logFile = QDir(parser.value(logFile)).absolutePath();
    } else {
        options.logFile = velmorapaths::historyLog();
        options.formerLogFile = QCoreApplication::applicationDirPath() + QStringLiteral("/") +
                                QLatin1String(velmorapaths::HistoryLogName);
    }
    for (const QString& text : parser.values(echoUrl)) {
        const std::optional<EchoSource> source = EchoSource::fromText(text);
        if (!source)
            usageError(QStringLiteral("--echo-url needs an http or https URL, not '%1'").arg(text));
        options.echoUrls.append(*source);
    }
    if (parser.isSet(echoInterval))
        options.echoInterval = secondsValue(parser, echoInterval, 0.01);
    options.echoMinGap = secondsValue(parser, echoMinGap, 0);
    options.echoTimeout = secondsValue(parser, echoTimeout, 0.01);
    options.moveWait = secondsValue(parser, moveWait, 0);
    options.localCheckInterval = secondsValue(parser, localInterval, 0.01);
    options.requestTimeout = secondsValue(parser, requestTimeout, 0.01);
    options.alertRetryDelays = secondsListValue(parser, retryDelays);
    options.ftpPort = portValue(parser, ftpPort);
    options.pushTimeout = secondsValue(parser, pushTimeout, 1);
    return result;
}
