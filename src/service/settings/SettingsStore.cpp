#include "service/settings/SettingsStore.h"

#include "common/PrivateFile.h"
#include "service/BackgroundWriter.h"
#include "service/ServiceError.h"
#include "service/ServiceLog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// Eighteen values of the longest the window sends, every byte escaped, and
// room for comments: anything larger is not a settings file.
constexpr qint64 MaxFileSize = 4 * 1024 * 1024;
// More lines than this that are not understood are counted, not quoted.
constexpr int MaxProblemsTold = 10;
// An editor's save is often several steps (a backup, a new file, a rename):
// the file is read once they are over.
constexpr std::chrono::milliseconds EditSettleTime(200);

bool isTaken(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// The file is text when it holds no control character but tabs and line ends:
// the store writes every other one escaped, and editors do not put them in.
bool isText(const QByteArray& bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) {
        return uchar(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r';
    });
}

} // namespace

SettingsStore::SettingsStore(const QString& configDir, QList<QByteArray> carrierNames,
                             QObject* parent)
    : QObject(parent), m_filePath(configDir + QStringLiteral("/settings.conf")),
      m_carrierNames(std::move(carrierNames))
{
    m_rereadDelay.setSingleShot(true);
    m_rereadDelay.setInterval(EditSettleTime);
    connect(&m_rereadDelay, &QTimer::timeout, this, &SettingsStore::rereadIfEdited);
}

void SettingsStore::load()
{
    m_file = {};
    m_knownText.clear();
    m_keptAside.clear();
    const privatefile::ReadResult read = privatefile::read(m_filePath, MaxFileSize);
    if (read.isRead() && !isText(read.contents))
        keepAside(QStringLiteral("it is not a text file"));
    else if (read.isRead())
        adopt(settingsfile::read(read.contents, m_carrierNames), read.contents);
    else if (read.status != privatefile::ReadResult::Status::Missing)
        keepAside(read.reason);
    reportProblems(m_file.problems);
    reportMissingCarrier();
    watch();
}

void SettingsStore::keepAside(const QString& reason)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = m_filePath + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; isTaken(aside) && n < 1000; ++n)
        aside = m_filePath + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    // rename() moves a link or FIFO itself, never what a link points to.
    if (isTaken(aside) || std::rename(QFile::encodeName(m_filePath).constData(),
                                      QFile::encodeName(aside).constData()) != 0) {
        throw ServiceError(QStringLiteral("the settings file %1 cannot be read (%2) and cannot be "
                                          "moved aside; move or repair it, then start again")
                               .arg(m_filePath, reason)
                               .toStdString());
    }
    m_keptAside = aside;
    const QString message = QStringLiteral("the settings file %1 cannot be read (%2); kept it as "
                                           "%3 and started from the default settings")
                                .arg(m_filePath, reason, aside);
    logLine(LogLevel::Warning, message);
    emit notUnderstood(message);
}

void SettingsStore::adopt(const settingsfile::SettingsFile& file, const QByteArray& text)
{
    m_file = file;
    m_knownText = text;
    m_lastRefusal.clear();
}

void SettingsStore::reportProblems(const QStringList& problems)
{
    if (problems.isEmpty())
        return;
    QStringList told;
    for (const QString& problem : problems.mid(0, MaxProblemsTold))
        told << QStringLiteral("%1, %2").arg(m_filePath, problem);
    if (problems.size() > MaxProblemsTold)
        told << QStringLiteral("%1: %2 more lines not understood")
                    .arg(m_filePath)
                    .arg(problems.size() - MaxProblemsTold);
    for (const QString& line : std::as_const(told))
        logLine(LogLevel::Warning, line);
    emit notUnderstood(told.join(u'\n'));
}

void SettingsStore::reportMissingCarrier()
{
    const QByteArray& name = m_file.settings.text(Setting::Carrier);
    if (name.isEmpty() || m_carrierNames.contains(name) || name == m_missingCarrierTold)
        return;
    m_missingCarrierTold = name;
    logLine(LogLevel::Warning,
            QStringLiteral("%1: the carrier \"%2\" is not in the carrier list; it stays in the "
                           "file, but no text message goes out until a carrier of the list is "
                           "chosen")
                .arg(m_filePath, QString::fromUtf8(name)));
}

void SettingsStore::tellChanges(const AlertSettings& before, bool alwaysTell)
{
    if ((alwaysTell || m_file.settings != before) && m_savedHandler)
        m_savedHandler(m_file.settings);
    if (desktopNotifications() != before.isOn(Setting::DesktopNotifications))
        emit desktopNotificationsChanged(desktopNotifications());
}

bool SettingsStore::save(const SettingValues& values)
{
    // An edit that came just before and was not read yet: its comments, unknown
    // keys and other settings stay; the window's values win.
    rereadIfEdited();
    const AlertSettings before = m_file.settings;
    m_file.settings.set(values);
    const QByteArray& carrier = before.text(Setting::Carrier);
    if (m_file.settings.text(Setting::Carrier).isEmpty() && !m_carrierNames.contains(carrier))
        m_file.settings.set(Setting::Carrier, carrier);
    tellChanges(before, true);
    const QByteArray text = settingsfile::write(m_file);
    if (!m_background) {
        const bool ok = writeFile(text);
        if (ok)
            m_knownText = text;
        return ok;
    }
    const quint64 sequence = ++m_writesPosted;
    m_background->postLatest([this, sequence, text] {
        const bool ok = writeFile(text);
        QMetaObject::invokeMethod(
            this, [this, sequence, text, ok] { written(sequence, text, ok); },
            Qt::QueuedConnection);
    });
    return true;
}

bool SettingsStore::writeFile(const QByteArray& text)
{
    const QString failure = privatefile::write(m_filePath, text);
    if (failure.isEmpty())
        return true;
    const QString message = QStringLiteral("cannot write the settings file %1: %2; the file keeps "
                                           "the settings before, and the new ones hold only until "
                                           "the service stops")
                                .arg(m_filePath, failure);
    logLine(LogLevel::Error, message);
    emit saveFailed(message);
    return false;
}

void SettingsStore::written(quint64 sequence, const QByteArray& text, bool ok)
{
    m_writesDone = sequence;
    // The file's text is now the one written; after a failure it is still the
    // one before, which must not pass for an edit.
    if (ok)
        m_knownText = text;
    // Change notices that came while writing were held back.
    if (m_writesDone == m_writesPosted)
        m_rereadDelay.start();
}

void SettingsStore::watch()
{
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        // Editors and the store itself replace the file by a rename, which only
        // the folder sees; an edit in place only the file.
        m_watcher->addPath(QFileInfo(m_filePath).absolutePath());
        const auto changed = [this] { m_rereadDelay.start(); };
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, changed);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, changed);
    }
    // The file now at the path: a watch follows the one it was added for.
    m_watcher->removePath(m_filePath);
    if (isTaken(m_filePath) && privatefile::kindOfNonFile(m_filePath).isEmpty())
        m_watcher->addPath(m_filePath);
}

void SettingsStore::rereadIfEdited()
{
    // A file being written is the store's own; written() looks again after.
    if (m_writesDone != m_writesPosted)
        return;
    watch();
    const privatefile::ReadResult read = privatefile::read(m_filePath, MaxFileSize);
    // Removed: the settings in memory stay, and the next save writes the file anew.
    if (read.status == privatefile::ReadResult::Status::Missing)
        return;
    QString refusal = read.reason;
    if (read.isRead() && !isText(read.contents))
        refusal = QStringLiteral("it is not a text file");
    if (!refusal.isEmpty()) {
        if (refusal == m_lastRefusal)
            return;
        m_lastRefusal = refusal;
        const QString message = QStringLiteral("cannot read the changed settings file %1 (%2); "
                                               "the settings stay as they were")
                                    .arg(m_filePath, refusal);
        logLine(LogLevel::Warning, message);
        emit notUnderstood(message);
        return;
    }
    if (read.contents == m_knownText)
        return; // the store's own save, or a touch that changed nothing
    const AlertSettings settingsBefore = m_file.settings;
    adopt(settingsfile::read(read.contents, m_carrierNames), read.contents);
    logLine(LogLevel::Notice,
            QStringLiteral("read the settings file %1 again: it was changed").arg(m_filePath));
    reportProblems(m_file.problems);
    reportMissingCarrier();
    tellChanges(settingsBefore, false);
}
