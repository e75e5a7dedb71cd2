#include "service/ServiceApp.h"

#include "common/CarrierLine.h"
#include "common/PrivateFile.h"
#include "common/SocketOwnerLookup.h"
#include "service/FormerLayout.h"
#include "service/InstanceLock.h"
#include "service/ShutdownSignals.h"
#include "service/SystemdNotify.h"
#include "service/addresses/AddressWatcher.h"
#include "service/addresses/IsolatedAddressCheck.h"
#include "service/addresses/PublicCheckInterval.h"
#include "service/addresses/RememberedAddresses.h"
#include "service/addresses/RouterAnnouncements.h"
#include "service/addresses/SystemAddressSource.h"
#include "service/addresses/WakeDetector.h"
#include "service/alerts/AlertDispatcher.h"
#include "service/alerts/AlertSenders.h"
#include "service/alerts/ChangeRecorder.h"
#include "service/alerts/HistoryLog.h"
#include "service/alerts/PendingAlerts.h"
#include "service/base/BackgroundWriter.h"
#include "service/base/ServiceError.h"
#include "service/base/ServiceLog.h"
#include "service/listener/RequestHandler.h"
#include "service/listener/ServiceListener.h"
#include "service/notify/ChangeNotices.h"
#include "service/notify/DesktopNotifier.h"
#include "service/settings/CarrierList.h"
#include "service/settings/EchoUrlList.h"
#include "service/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// One of the service's helper programs, found from the service's own folder.
QString helperProgram(const QString& name)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" VELMORA_HELPER_FROM_BINDIR "/") + name);
}

// The copies a save writes before it replaces a file are gone when it is over;
// a service killed in the middle leaves them, passwords and all. With the lock
// held, no other service is writing them.
void removeLeftoverCopies(const QStringList& files)
{
    for (const QString& file : files) {
        const QStringList removed = privatefile::removeLeftovers(file);
        if (!removed.isEmpty())
            logLine(LogLevel::Notice,
                    QStringLiteral("removed what an interrupted save of %1 left beside it: %2")
                        .arg(file, removed.join(QStringLiteral(", "))));
    }
}

// A folder made by hand or by an earlier tool may be open to others.
void makeFolderPrivate(const QString& path, const QString& what)
{
    const privatefile::MadePrivate made = privatefile::makePrivate(path);
    const QString before = QString::number(made.before, 8).rightJustified(4, u'0');
    if (made.changed)
        logLine(LogLevel::Notice,
                QStringLiteral("made the %1 folder %2 private (mode 0700; it was %3)")
                    .arg(what, path, before));
    else if (!made.error.isEmpty())
        logLine(LogLevel::Warning,
                QStringLiteral("the %1 folder %2 is open to others (mode %3) and cannot be made "
                               "private: %4")
                    .arg(what, path, before, made.error));
}

} // namespace

void ensurePrivateFolder(const QString& path, const QString& what)
{
    // The missing folders, the outermost first.
    QStringList missing;
    for (QString folder = path; !QFileInfo(folder).isDir(); folder = QFileInfo(folder).path()) {
        missing.prepend(folder);
        if (QFileInfo(folder).path() == folder)
            break;
    }
    for (const QString& folder : std::as_const(missing)) {
        // mkdir() gives the mode at once: the folder is never open to others, whatever the umask.
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) == 0)
            continue;
        const int error = errno;
        if (error == EEXIST && QFileInfo(folder).isDir())
            continue;
        const QString reason = error == EEXIST
                                   ? QStringLiteral("%1 is not a folder").arg(folder)
                                   : QStringLiteral("%1: %2").arg(
                                         folder, QString::fromLocal8Bit(std::strerror(error)));
        throw SetupError(QStringLiteral("cannot create the %1 folder %2 (%3)")
                             .arg(what, path, reason)
                             .toStdString());
    }
}

ServiceApp::ServiceApp(ServiceOptions options) : m_options(std::move(options)) {}

int ServiceApp::run()
{
    ensurePrivateFolder(m_options.configDir, QStringLiteral("config"));
    ensurePrivateFolder(m_options.stateDir, QStringLiteral("state"));
    InstanceLock lock(m_options.lockFile);
    lock.acquire();
    // An earlier version keeps its lock in the config folder; its files must
    // not be moved from under it.
    if (const std::optional<qint64> earlier =
            InstanceLock::holder(formerlayout::lockFile(m_options.configDir)))
        throw AlreadyRunningError(
            QStringLiteral("an earlier version is already running for this user (process %1)")
                .arg(*earlier)
                .toStdString());
    formerlayout::moveAll(m_options);
    makeFolderPrivate(m_options.configDir, QStringLiteral("config"));
    makeFolderPrivate(m_options.stateDir, QStringLiteral("state"));

    DesktopNotifier notifier(helperProgram(QStringLiteral("velmora-notify")));
    const QList<QByteArray> carrierLines = carriers::load(m_options.configDir);
    SettingsStore store(m_options.configDir, CarrierLine::namesOf(carrierLines));
    removeLeftoverCopies({store.filePath(), RememberedAddresses(m_options.stateDir).filePath(),
                          PendingAlerts(m_options.stateDir).filePath()});
    // What load() finds wrong is shown once the file has said whether to show it.
    QStringList loadProblems;
    const QMetaObject::Connection collecting =
        QObject::connect(&store, &SettingsStore::notUnderstood, &store,
                         [&loadProblems](const QString& message) { loadProblems << message; });
    store.load();
    QObject::disconnect(collecting);
    notifier.setEnabled(store.desktopNotifications());
    const QString settingsProblem = QStringLiteral("Velmora: a problem with the settings file");
    for (const QString& message : std::as_const(loadProblems))
        notifier.notify(settingsProblem, message);
    QObject::connect(&store, &SettingsStore::notUnderstood, &notifier,
                     [&notifier, settingsProblem](const QString& message) {
                         notifier.notify(settingsProblem, message);
                     });
    QObject::connect(&store, &SettingsStore::linkReplaced, &notifier,
                     [&notifier, settingsProblem](const QString& message) {
                         notifier.notify(settingsProblem, message);
                     });
    QObject::connect(
        &store, &SettingsStore::saveFailed, &notifier, [&notifier](const QString& message) {
            notifier.notify(QStringLiteral("Velmora: the settings were not saved"), message);
        });
    QObject::connect(&store, &SettingsStore::desktopNotificationsChanged, &notifier,
                     &DesktopNotifier::setEnabled);
    // Declared after the store, so that it is finished before the store goes.
    BackgroundWriter settingsWriter;
    store.setBackgroundWriter(&settingsWriter);
    const QList<EchoSource> echoUrls =
        m_options.echoUrls.isEmpty() ? echourls::load(m_options.configDir) : m_options.echoUrls;

    SystemAddressSource localSource(m_options.localCheckInterval);
    IsolatedAddressCheck checker(helperProgram(QStringLiteral("velmora-echo-check")), echoUrls,
                                 m_options.echoTimeout);
    const RememberedAddresses remembered(m_options.stateDir);
    // The command line's interval (for tests) or the settings file's.
    const auto checkInterval = [this](const AlertSettings& settings) {
        if (m_options.echoInterval)
            return *m_options.echoInterval;
        const int asked = settings.number(Setting::PublicCheckInterval);
        const std::chrono::milliseconds interval = publicinterval::fromSetting(asked);
        if (interval != std::chrono::seconds(asked))
            logLine(
                LogLevel::Warning,
                QStringLiteral("%1=%2 is outside %3 to %4 seconds; checking every %5 s")
                    .arg(QLatin1String(settingtable::info(Setting::PublicCheckInterval).fileKey))
                    .arg(asked)
                    .arg(publicinterval::Least.count())
                    .arg(publicinterval::Most.count())
                    .arg(interval.count() / 1000));
        return interval;
    };
    const AddressWatcher::Timing watcherTiming{checkInterval(store.settings()),
                                               m_options.echoMinGap, m_options.moveWait};
    // The same sources; each check keeps those that fit its family.
    IsolatedAddressCheck checker6(helperProgram(QStringLiteral("velmora-echo-check")), echoUrls,
                                  m_options.echoTimeout, AddressFamily::Ipv6);
    AddressWatcher watcher(localSource, checker, checker6, watcherTiming, remembered.load());
    watcher.setIpv6Watched(store.settings().isOn(Setting::WatchIpv6));
    QStringList sourceNames;
    for (const EchoSource& source : echoUrls)
        sourceNames << source.key();
    QObject::connect(&watcher, &AddressWatcher::currentChanged, &watcher,
                     [&remembered](const Addresses& current) { remembered.save(current); });
    WakeDetector wake;
    QObject::connect(
        &wake, &WakeDetector::woke, &watcher, [&watcher](std::chrono::milliseconds slept) {
            logLine(LogLevel::Notice, QStringLiteral("woke from %1 s of sleep; checking the public "
                                                     "address")
                                          .arg(slept.count() / 1000));
            watcher.checkNow();
        });
    RouterAnnouncements router;
    QObject::connect(
        &router, &RouterAnnouncements::announced, &watcher, [&watcher](const QString& what) {
            logLine(LogLevel::Notice, QStringLiteral("the router announced a new external address "
                                                     "(%1); checking the public address")
                                          .arg(what));
            watcher.checkNow();
        });

    HistoryLog history(m_options.logFile);
    AlertSenders::Options senderOptions;
    senderOptions.ftpPort = m_options.ftpPort;
    senderOptions.mailHelper = helperProgram(QStringLiteral("velmora-send-mail"));
    senderOptions.pageHelper = helperProgram(QStringLiteral("velmora-upload-page"));
    senderOptions.pushHelper = helperProgram(QStringLiteral("velmora-send-push"));
    senderOptions.pushTimeout =
        std::chrono::duration_cast<std::chrono::seconds>(m_options.pushTimeout);
    const AlertSenders senders(m_options.configDir, carrierLines, senderOptions);
    AlertDispatcher alerts(senders, m_options.stateDir, m_options.alertRetryDelays);
    alerts.setNoticeHandler([&notifier](const QString& summary, const QString& body) {
        notifier.notify(summary, body);
    });
    alerts.settingsChanged(store.settings());
    alerts.resumePending();
    store.setSavedHandler([&alerts, &watcher, checkInterval](const AlertSettings& saved) {
        alerts.settingsChanged(saved);
        if (const bool ipv6 = saved.isOn(Setting::WatchIpv6); ipv6 != watcher.ipv6Watched()) {
            watcher.setIpv6Watched(ipv6);
            logLine(LogLevel::Notice, ipv6 ? QStringLiteral("watching the IPv6 addresses")
                                           : QStringLiteral("not watching IPv6 addresses"));
        }
        const std::chrono::milliseconds interval = checkInterval(saved);
        if (interval != watcher.interval()) {
            watcher.setInterval(interval);
            logLine(LogLevel::Notice, QStringLiteral("checking the public address every %1 s")
                                          .arg(double(interval.count()) / 1000.0));
        }
    });
    ChangeRecorder recorder(history, alerts, [&store] { return store.settings(); });
    QObject::connect(&watcher, &AddressWatcher::changed, &recorder, &ChangeRecorder::record);
    QObject::connect(&watcher, &AddressWatcher::changed, &notifier,
                     [&notifier](const Addresses& previous, const Addresses& current) {
                         for (const QString& notice : changeNotices(previous, current))
                             notifier.notify(notice, QString());
                     });
    QObject::connect(&watcher, &AddressWatcher::publicCheckFinished, &watcher,
                     [&alerts](bool succeeded) { alerts.networkChecked(succeeded); });

    RequestHandler handler(store, carrierLines, [&watcher] { return watcher.current(); });
    SocketOwnerLookup owners;
    ServiceListener listener(handler, owners, m_options.requestTimeout);
    listener.listenOn(m_options.port);

    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::received, QCoreApplication::instance(),
                     &QCoreApplication::quit);

    watcher.start();
    logLine(LogLevel::Notice,
            QStringLiteral("listening on 127.0.0.1:%1; settings in %2; history in %3")
                .arg(m_options.port)
                .arg(store.filePath(), history.path()));
    logLine(LogLevel::Notice,
            QStringLiteral(
                "checking the public address every %1 s, and after every local change, "
                "router announcement and wake from sleep; a new address counts when two sources of "
                "different operators agree; asking in turn: %2")
                .arg(double(watcher.interval().count()) / 1000.0)
                .arg(sourceNames.join(QStringLiteral(", "))));
    // Under systemd (Type=notify) the unit counts as started from here on;
    // elsewhere this does nothing.
    notifySystemd("READY=1");
    const int code = QCoreApplication::exec();
    notifySystemd("STOPPING=1");
    store.finishWriting(); // the last settings saved are on disk, or said to be lost
    if (!alerts.finish(std::chrono::seconds(2))) {
        // An alert still waits for a server: end without waiting for it.
        logLine(LogLevel::Warning, QStringLiteral("stopped with an alert unfinished"));
        std::_Exit(code);
    }
    logLine(LogLevel::Notice, QStringLiteral("stopped"));
    return code;
}
