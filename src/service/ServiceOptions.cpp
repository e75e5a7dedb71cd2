#include "service/ServiceOptions.h"

#include "service/ServiceError.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {

[[noreturn]] void usageError(const QString& message)
{
    throw UsageError(message.toStdString());
}

std::chrono::milliseconds seconds(const QCommandLineParser& parser, const QString& name,
                                  double minimum)
{
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || value < minimum || value > 365.0 * 24 * 3600)
        usageError(QStringLiteral("--%1 needs a number of seconds of at least %2, not '%3'")
                       .arg(name)
                       .arg(minimum)
                       .arg(parser.value(name)));
    return std::chrono::milliseconds(qint64(value * 1000.0 + 0.5));
}

} // namespace

QString defaultConfigDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velmora");
}

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Keeps Velmora's alert settings, watches this computer's public and local "
                       "IP addresses and records every change. The Velmora window talks to it on "
                       "%1.")
            .arg(QLatin1String(service::Host)));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption isRunning(
        QStringLiteral("is-running"),
        QStringLiteral("Exit with 0 when the service runs for this user, 1 otherwise."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Listen on %1:<port> (default %2).")
                                      .arg(QLatin1String(service::Host))
                                      .arg(service::Port),
                                  QStringLiteral("port"), QString::number(service::Port));
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QStringLiteral("Keep the settings in <dir> (default $XDG_CONFIG_HOME/velmora)."),
        QStringLiteral("dir"));
    const QCommandLineOption logFile(
        QStringLiteral("log-file"),
        QStringLiteral("Write the history to <file> (default velmora.log beside the program)."),
        QStringLiteral("file"));
    const QCommandLineOption echoUrl(
        QStringLiteral("echo-url"),
        QStringLiteral("Ask <url> for the public address; may be given more than once. Replaces "
                       "echo-urls.txt in the config folder and the built-in list."),
        QStringLiteral("url"));
    const QCommandLineOption echoInterval(
        QStringLiteral("echo-interval"),
        QStringLiteral("Check the public address every <seconds> (default 300)."),
        QStringLiteral("seconds"), QStringLiteral("300"));
    const QCommandLineOption echoMinGap(
        QStringLiteral("echo-min-gap"),
        QStringLiteral("Leave at least <seconds> between two checks (default 60)."),
        QStringLiteral("seconds"), QStringLiteral("60"));
    const QCommandLineOption echoTimeout(
        QStringLiteral("echo-timeout"),
        QStringLiteral("Give each echo URL <seconds> to answer (default 5)."),
        QStringLiteral("seconds"), QStringLiteral("5"));
    const QCommandLineOption localInterval(
        QStringLiteral("local-check-interval"),
        QStringLiteral("Re-read the local address every <seconds> besides the change notices "
                       "(default 60)."),
        QStringLiteral("seconds"), QStringLiteral("60"));
    const QCommandLineOption requestTimeout(
        QStringLiteral("request-timeout"),
        QStringLiteral("Close a connection whose request is not complete after <seconds> "
                       "(default 5)."),
        QStringLiteral("seconds"), QStringLiteral("5"));
    const QCommandLineOption retryDelays(
        QStringLiteral("alert-retry-delays"),
        QStringLiteral("Try a failed alert again after each of these comma-separated numbers of "
                       "seconds, then give it up (default 60,300,900). While the public address "
                       "cannot be checked, a failed alert waits for the network instead."),
        QStringLiteral("seconds"), QStringLiteral("60,300,900"));
    QCommandLineOption ftpPort(QStringLiteral("ftp-port"),
                               QStringLiteral("Upload the FTP page to this port."),
                               QStringLiteral("port"), QString::number(FtpClient::DefaultPort));
    ftpPort.setFlags(QCommandLineOption::HiddenFromHelp);
    // The service's own helper for the public address (see IsolatedAddressCheck).
    QCommandLineOption checkPublicAddress(QStringLiteral("check-public-address"),
                                          QStringLiteral("Print the public address and exit."));
    checkPublicAddress.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({isRunning, checkPublicAddress, port, configDir, logFile, echoUrl,
                       echoInterval, echoMinGap, echoTimeout, localInterval, requestTimeout,
                       retryDelays, ftpPort});

    if (!parser.parse(arguments))
        usageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        usageError(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    CommandLine result;
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::ShowHelp;
        result.text = parser.helpText();
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
    if (parser.isSet(checkPublicAddress))
        result.action = CommandLine::Action::CheckPublicAddress;

    ServiceOptions& options = result.options;
    bool ok = false;
    const uint portNumber = parser.value(port).toUInt(&ok);
    if (!ok || portNumber == 0 || portNumber > 65535)
        usageError(QStringLiteral("--port needs a port number from 1 to 65535, not '%1'")
                       .arg(parser.value(port)));
    options.port = quint16(portNumber);
    options.configDir = parser.isSet(configDir) ? parser.value(configDir) : defaultConfigDir();
    options.configDir = QDir::cleanPath(QDir(options.configDir).absolutePath());
    options.logFile = parser.isSet(logFile)
                          ? QDir(parser.value(logFile)).absolutePath()
                          : QCoreApplication::applicationDirPath() + QStringLiteral("/velmora.log");
    for (const QString& text : parser.values(echoUrl)) {
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid() ||
            (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
            usageError(QStringLiteral("--echo-url needs an http or https URL, not '%1'").arg(text));
        options.echoUrls.append(url);
    }
    options.echoInterval = seconds(parser, echoInterval.names().first(), 0.01);
    options.echoMinGap = seconds(parser, echoMinGap.names().first(), 0);
    options.echoTimeout = seconds(parser, echoTimeout.names().first(), 0.01);
    options.localCheckInterval = seconds(parser, localInterval.names().first(), 0.01);
    options.requestTimeout = seconds(parser, requestTimeout.names().first(), 0.01);
    options.alertRetryDelays.clear();
    for (const QString& text : parser.value(retryDelays).split(u',', Qt::SkipEmptyParts)) {
        const double value = text.trimmed().toDouble(&ok);
        if (!ok || value < 0 || value > 365.0 * 24 * 3600)
            usageError(QStringLiteral("--alert-retry-delays needs comma-separated numbers of "
                                      "seconds, not '%1'")
                           .arg(parser.value(retryDelays)));
        options.alertRetryDelays.append(std::chrono::milliseconds(qint64(value * 1000.0 + 0.5)));
    }
    const uint ftpPortNumber = parser.value(ftpPort).toUInt(&ok);
    if (!ok || ftpPortNumber == 0 || ftpPortNumber > 65535)
        usageError(QStringLiteral("--ftp-port needs a port number from 1 to 65535, not '%1'")
                       .arg(parser.value(ftpPort)));
    options.ftpPort = quint16(ftpPortNumber);
    return result;
}
