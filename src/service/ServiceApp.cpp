#include "service/ServiceApp.h"

#include "service/FormerLayout.h"
#include "service/InstanceLock.h"
#include "service/ServiceError.h"
#include "service/ServiceLog.h"
#include "service/ShutdownSignals.h"
#include "service/addresses/AddressWatcher.h"
#include "service/addresses/IsolatedAddressCheck.h"
#include "service/addresses/RememberedAddresses.h"
#include "service/addresses/SystemAddressSource.h"
#include "service/alerts/AlertDispatcher.h"
#include "service/alerts/AlertSenders.h"
#include "service/alerts/ChangeRecorder.h"
#include "service/alerts/HistoryLog.h"
#include "service/listener/RequestHandler.h"
#include "service/listener/ServiceListener.h"
#include "service/listener/SocketOwnerLookup.h"
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
        throw ServiceError(QStringLiteral("cannot create the %1 folder %2 (%3)")
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

    SettingsStore store(m_options.configDir);
    store.load();
    const QList<QUrl> echoUrls =
        m_options.echoUrls.isEmpty() ? echourls::load(m_options.configDir) : m_options.echoUrls;

    SystemAddressSource localSource(m_options.localCheckInterval);
    IsolatedAddressCheck checker(helperProgram(QStringLiteral("velmora-echo-check")), echoUrls,
                                 m_options.echoTimeout);
    const RememberedAddresses remembered(m_options.stateDir);
    AddressWatcher watcher(localSource, checker, {m_options.echoInterval, m_options.echoMinGap},
                           remembered.load());
    QObject::connect(&watcher, &AddressWatcher::currentChanged, &watcher,
                     [&remembered](const Addresses& current) { remembered.save(current); });

    HistoryLog history(m_options.logFile);
    const QList<QByteArray> carrierLines = carriers::load(m_options.configDir);
    AlertSenders::Options senderOptions;
    senderOptions.ftpPort = m_options.ftpPort;
    senderOptions.mailHelper = helperProgram(QStringLiteral("velmora-send-mail"));
    senderOptions.pageHelper = helperProgram(QStringLiteral("velmora-upload-page"));
    const AlertSenders senders(m_options.configDir, carrierLines, senderOptions);
    AlertDispatcher alerts(senders, m_options.stateDir, m_options.alertRetryDelays);
    alerts.settingsChanged(store.settings());
    alerts.resumePending();
    store.setSavedHandler([&alerts](const AlertSettings& saved) { alerts.settingsChanged(saved); });
    ChangeRecorder recorder(history, alerts, [&store] { return store.settings(); });
    QObject::connect(&watcher, &AddressWatcher::changed, &recorder, &ChangeRecorder::record);
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
    logLine(QStringLiteral("listening on 127.0.0.1:%1; settings in %2; history in %3")
                .arg(m_options.port)
                .arg(store.filePath(), history.path()));
    const int code = QCoreApplication::exec();
    if (!alerts.finish(std::chrono::seconds(2))) {
        // An alert still waits for a server: end without waiting for it.
        logLine(QStringLiteral("stopped with an alert unfinished"));
        std::_Exit(code);
    }
    logLine(QStringLiteral("stopped"));
    return code;
}
