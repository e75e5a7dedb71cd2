#include "service/settings/SettingsStore.h"

#include "common/PrivateFile.h"
#include "service/base/BackgroundWriter.h"
#include "service/base/ServiceError.h"
#include "service/base/ServiceLog.h"

#include <QCoreApplication>
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
// A save the disk did not take is tried again, at first soon, then every half
// minute: a full disk may take a while to get room again. (The first delay is
// m_retryDelay's start.)
constexpr std::chrono::milliseconds FirstRetryDelay(1000);
constexpr std::chrono::milliseconds LastRetryDelay(30000);

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

// A stray control byte (a form feed in a comment, NULs a crash left) costs only
// the lines it is in; a file that is not text and names no setting at all is
// something else (a program, an image) put in the wrong place.
bool isSettingsFile(const settingsfile::SettingsFile& file, const QByteArray& bytes)
{
    return isText(bytes) ||
           std::any_of(file.lines.cbegin(), file.lines.cend(),
                       [](const settingsfile::Line& line) { return line.setting.has_value(); });
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
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &SettingsStore::retryWrite);
}

void SettingsStore::load()
{
    m_file = {};
    m_knownText.clear();
    m_keptAside.clear();
    const privatefile::ReadResult read = readFile();
    if (read.isRead()) {
        makeFilePrivate();
        const settingsfile::SettingsFile file = settingsfile::read(read.contents, m_carrierNames);
        if (isSettingsFile(file, read.contents))
            adopt(file, read.contents);
        else
            keepAside(QStringLiteral("it is not a text file"));
    } else if (read.status != privatefile::ReadResult::Status::Missing) {
        keepAside(read.reason);
    }
    reportProblems(m_file.problems);
    reportMissingCarrier();
    watch();
}

privatefile::ReadResult SettingsStore::readFile() const
{
    // Dotfile managers put a link here; it is read, never written through.
    return privatefile::read(m_filePath, MaxFileSize, privatefile::Links::Followed);
}

void SettingsStore::makeFilePrivate()
{
    const QFileInfo info(m_filePath);
    if (info.isSymLink()) {
        const bool open = (info.permissions() & (QFile::ReadGroup | QFile::ReadOther)) != 0;
        logLine(open ? LogLevel::Warning : LogLevel::Notice,
                QStringLiteral("the settings file %1 is a symbolic link to %2%3; the service "
                               "reads it there, and a save puts a file of its own in the link's "
                               "place")
                    .arg(m_filePath, info.symLinkTarget(),
                         open ? QStringLiteral(", which others can read") : QString()));
        return;
    }
    // A file made by hand with the usual umask lets others read the passwords.
    const privatefile::MadePrivate made = privatefile::makePrivate(m_filePath);
    const QString before = QString::number(made.before, 8).rightJustified(4, u'0');
    if (made.changed)
        logLine(LogLevel::Warning,
                QStringLiteral("the settings file %1 could be read by others (mode %2); made it "
                               "private (mode 0600)")
                    .arg(m_filePath, before));
    else if (!made.error.isEmpty())
        logLine(LogLevel::Warning,
                QStringLiteral("the settings file %1 can be read by others (mode %2) and cannot "
                               "be made private: %3")
                    .arg(m_filePath, before, made.error));
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
    return write(settingsfile::write(m_file), false) == WriteOutcome::Written;
}

SettingsStore::WriteOutcome SettingsStore::write(const QByteArray& text, bool again)
{
    // What the file holds now, as far as the store knows: a file that holds
    // something else when the new one is ready was edited after this save.
    const QByteArray known = m_knownText;
    if (!m_background) {
        const WriteOutcome outcome = writeFile(text, known, again);
        finished(text, outcome);
        return outcome;
    }
    const quint64 sequence = ++m_writesPosted;
    m_background->postLatest([this, sequence, text, known, again] {
        const WriteOutcome outcome = writeFile(text, known, again);
        QMetaObject::invokeMethod(
            this, [this, sequence, text, outcome] { written(sequence, text, outcome); },
            Qt::QueuedConnection);
    });
    return WriteOutcome::Written;
}

SettingsStore::WriteOutcome SettingsStore::writeFile(const QByteArray& text,
                                                     const QByteArray& known, bool again)
{
    const QFileInfo before(m_filePath);
    const QString linkTarget = before.isSymLink() ? before.symLinkTarget() : QString();
    // A hand edit made while this write was on its way is newer than the save:
    // it stays, and is read. (The file the store wrote last is no edit.)
    const auto notEditedMeanwhile = [this, &known] {
        const privatefile::ReadResult now = readFile();
        return !now.isRead() || now.contents == known || now.contents == m_lastWritten;
    };
    bool edited = false;
    const QString failure = privatefile::write(m_filePath, text, notEditedMeanwhile, &edited);
    if (edited) {
        logLine(LogLevel::Notice,
                QStringLiteral("the settings file %1 was edited while the settings saved last "
                               "were being written: the edit is newer, and stays")
                    .arg(m_filePath));
        return WriteOutcome::EditedMeanwhile;
    }
    if (failure.isEmpty()) {
        m_lastWritten = text;
        if (again)
            logLine(LogLevel::Notice,
                    QStringLiteral("wrote the settings file %1 at last").arg(m_filePath));
        // Written through the link, the passwords would land wherever it points
        // (often a folder others can read, or kept in version control); left
        // unwritten, the window's save would be lost at the next start.
        if (!linkTarget.isEmpty()) {
            const QString message =
                QStringLiteral("the settings file %1 was a symbolic link to %2; the service "
                               "does not write through links, so the settings saved now stand "
                               "in a file of their own at %1, and %2 is unchanged")
                    .arg(m_filePath, linkTarget);
            logLine(LogLevel::Warning, message);
            emit linkReplaced(message);
        }
        return WriteOutcome::Written;
    }
    // Told once; the attempts that follow are quiet until one succeeds.
    if (!again) {
        const QString message =
            QStringLiteral("cannot write the settings file %1: %2; the file keeps the settings "
                           "before, and the service tries again (at the latest when it stops)")
                .arg(m_filePath, failure);
        logLine(LogLevel::Error, message);
        emit saveFailed(message);
    }
    m_lastFailure = failure;
    return WriteOutcome::Failed;
}

void SettingsStore::written(quint64 sequence, const QByteArray& text, WriteOutcome outcome)
{
    m_writesDone = sequence;
    // Only the latest write counts: an older one's outcome says nothing of
    // what the file should hold now.
    if (m_writesDone == m_writesPosted)
        finished(text, outcome);
}

void SettingsStore::finished(const QByteArray& text, WriteOutcome outcome)
{
    switch (outcome) {
    case WriteOutcome::Written:
        m_knownText = text;
        m_unwritten.reset();
        m_retry.stop();
        m_retryDelay = FirstRetryDelay;
        break;
    case WriteOutcome::Failed:
        // The file's text is still the one before, which must not pass for an
        // edit; the settings are written as soon as the disk takes them.
        m_unwritten = text;
        m_retry.start(m_retryDelay);
        m_retryDelay = std::min(m_retryDelay * 2, LastRetryDelay);
        break;
    case WriteOutcome::EditedMeanwhile:
        m_unwritten.reset();
        m_retry.stop();
        break;
    }
    // Change notices that came while writing were held back.
    m_rereadDelay.start();
}

void SettingsStore::retryWrite()
{
    if (!m_unwritten)
        return;
    if (m_writesDone != m_writesPosted) {
        m_retry.start(m_retryDelay); // a newer save is on its way
        return;
    }
    write(*m_unwritten, true);
}

void SettingsStore::finishWriting()
{
    if (m_background)
        m_background->finish();
    // The outcome of the write that was still on its way.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_background = nullptr;
    m_retry.stop();
    if (!m_unwritten)
        return;
    if (write(*m_unwritten, true) == WriteOutcome::Failed)
        logLine(LogLevel::Error,
                QStringLiteral("the settings saved last could not be written to %1 (%2): they are "
                               "lost, and the next start finds the settings before")
                    .arg(m_filePath, m_lastFailure));
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
    // The file now at the path (or the one a link there points to): a watch
    // follows the one it was added for.
    m_watcher->removePath(m_filePath);
    if (QFileInfo(m_filePath).isFile())
        m_watcher->addPath(m_filePath);
}

void SettingsStore::rereadIfEdited()
{
    // A file being written is the store's own; written() looks again after.
    if (m_writesDone != m_writesPosted)
        return;
    watch();
    const privatefile::ReadResult read = readFile();
    // Removed: the settings in memory stay, and the next save writes the file anew.
    if (read.status == privatefile::ReadResult::Status::Missing)
        return;
    if (read.isRead() && read.contents == m_knownText)
        return; // the store's own save, or a touch that changed nothing
    QString refusal = read.reason;
    settingsfile::SettingsFile file;
    if (read.isRead()) {
        file = settingsfile::read(read.contents, m_carrierNames);
        if (!isSettingsFile(file, read.contents))
            refusal = QStringLiteral("it is not a text file");
    }
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
    const AlertSettings settingsBefore = m_file.settings;
    adopt(file, read.contents);
    // The edit is newer than a save that is still to be written.
    m_unwritten.reset();
    m_retry.stop();
    logLine(LogLevel::Notice,
            QStringLiteral("read the settings file %1 again: it was changed").arg(m_filePath));
    reportProblems(m_file.problems);
    reportMissingCarrier();
    tellChanges(settingsBefore, false);
}
