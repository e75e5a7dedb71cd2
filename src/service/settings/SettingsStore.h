#pragma once

#include "common/AlertSettings.h"
#include "common/PrivateFile.h"
#include "service/settings/SettingsFileFormat.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

class BackgroundWriter;
class QFileSystemWatcher;

// The settings as the service keeps them: in memory for the window's
// requests, and in settings.conf in the config folder (mode 0600: it holds
// passwords and the program to run), replaced atomically on every save, and
// read again whenever someone edits it while the service runs. The carrier is
// kept by its name in `carrierNames`, the list the window is given.
class SettingsStore : public QObject
{
    Q_OBJECT
public:
    explicit SettingsStore(const QString& configDir, QList<QByteArray> carrierNames = {},
                           QObject* parent = nullptr);

    QString filePath() const { return m_filePath; }

    // Reads the file (without one, the defaults apply), then watches it for
    // edits. A file that others can read is made private (0600) first. A
    // symbolic link (as dotfile managers make) is read where it points, never
    // written through: a save replaces the link with a file of its own. A line
    // that cannot be understood costs only its own key, and is reported
    // (notUnderstood). Something that is not a settings file at all (a FIFO,
    // folder, device, a file too large, or one that is not text and names no
    // setting, or a link to one of them) is renamed aside with a time stamp and
    // reported, and the defaults apply. Throws ServiceError when it cannot be
    // moved aside, so that it is never overwritten unseen.
    void load();

    const AlertSettings& settings() const { return m_file.settings; }
    const QList<QByteArray>& carrierNames() const { return m_carrierNames; }
    // Whether changes, failed alerts and settings problems are shown on the desktop.
    bool desktopNotifications() const
    {
        return m_file.settings.isOn(Setting::DesktopNotifications);
    }

    // Keeps these settings' values (the others stay as they are), tells the
    // changed handler and writes the file. No carrier for a carrier that is not
    // in the list keeps it: that is what the window was shown for it.
    // When the file cannot be written (a full disk, a read-only folder) the old
    // file stays whole, the failure is logged and saveFailed is emitted; the new
    // settings hold in memory all the same, and are written as soon as the file
    // can be written (tried again after 1 s, then less often, up to every 30 s)
    // or at the latest by finishWriting(). A hand edit of the file made while
    // the write was on its way is newer: it stays and is read, and the save
    // gives way. Returns whether the file was written.
    bool save(const SettingValues& values);

    // When the service stops: waits for the write on its way, then tries once
    // more to write settings that could not be written yet, and logs an error
    // when they are lost.
    void finishWriting();

    // From here on save() returns at once: `writer` writes the file on its own
    // thread, and a failure is logged and emitted (saveFailed) from there. An
    // edit of the file is not read while a write is under way. The writer must
    // be finished before this store goes.
    void setBackgroundWriter(BackgroundWriter* writer) { m_background = writer; }

    // Called with the settings whenever they change: on every save, and when an
    // edit of the file changed them. On the store's thread.
    void setSavedHandler(std::function<void(const AlertSettings&)> handler)
    {
        m_savedHandler = std::move(handler);
    }

    // Where load() put a damaged file; empty when it did not.
    QString keptAsidePath() const { return m_keptAside; }

signals:
    // A save did not reach the file; reason is the whole message, as logged.
    void saveFailed(const QString& reason);
    // The file was not wholly understood: lines of it (one message for each
    // reading, a line for each line, as logged), or all of it (kept aside).
    void notUnderstood(const QString& message);
    void desktopNotificationsChanged(bool on);
    // A save put a file of its own where a symbolic link was; on any thread.
    void linkReplaced(const QString& message);

private:
    privatefile::ReadResult readFile() const;
    void makeFilePrivate();
    void keepAside(const QString& reason);
    void adopt(const settingsfile::SettingsFile& file, const QByteArray& text);
    void reportProblems(const QStringList& problems);
    // Logs a carrier that is not in the list, once for each name.
    void reportMissingCarrier();
    // Tells who follows the settings what changed since `before`: the changed
    // handler (always, or only when they changed) and desktopNotificationsChanged.
    void tellChanges(const AlertSettings& before, bool alwaysTell);
    void watch();
    void rereadIfEdited();
    enum class WriteOutcome
    {
        Written,
        Failed,
        EditedMeanwhile // the file was edited after the save: the edit stays
    };
    // Writes text, in the background when there is a writer; `again` for a
    // save that could not be written before.
    WriteOutcome write(const QByteArray& text, bool again);
    // Writes text to the file unless it no longer holds `known` (nor the text
    // written last); on any thread.
    WriteOutcome writeFile(const QByteArray& text, const QByteArray& known, bool again);
    // Back on the store's thread after the background write `sequence`.
    void written(quint64 sequence, const QByteArray& text, WriteOutcome outcome);
    // The outcome of the latest write.
    void finished(const QByteArray& text, WriteOutcome outcome);
    void retryWrite();

    QString m_filePath;
    QList<QByteArray> m_carrierNames;
    settingsfile::SettingsFile m_file;
    QByteArray m_missingCarrierTold;
    // The file's text as last read or written: a change notice that finds
    // the same text is the store's own save, or nothing.
    QByteArray m_knownText;
    QString m_lastRefusal; // why the edited file could not be read, told once
    QString m_keptAside;
    std::function<void(const AlertSettings&)> m_savedHandler;
    BackgroundWriter* m_background = nullptr;
    // The background writes posted and finished; a write that a newer one
    // replaced before it began never finishes, the newer one does.
    quint64 m_writesPosted = 0;
    quint64 m_writesDone = 0;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer m_rereadDelay;
    // Settings saved but not yet on disk, and when to try again.
    std::optional<QByteArray> m_unwritten;
    QTimer m_retry;
    std::chrono::milliseconds m_retryDelay{1000};
    // On the thread that writes: the text it wrote last, and why it could not.
    std::optional<QByteArray> m_lastWritten;
    QString m_lastFailure;
};
