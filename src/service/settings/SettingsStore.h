#pragma once

#include "common/AlertSettings.h"

#include <QString>
#include <functional>

class BackgroundWriter;

// The alert settings as the service keeps them: in memory for the window's
// requests, and in one file of the config folder (mode 0600: it holds passwords
// and the program to run), replaced atomically on every save.
class SettingsStore
{
public:
    explicit SettingsStore(const QString& configDir);

    QString filePath() const { return m_filePath; }

    // Reads the file; without one the defaults apply. A file that cannot be
    // read or understood is renamed aside (with a time stamp) and reported, and
    // the defaults apply. Throws ServiceError when it cannot be moved aside, so
    // that it is never overwritten unseen.
    void load();

    const AlertSettings& settings() const { return m_settings; }

    // Keeps the settings, tells the saved handler and writes them to the file.
    // Throws ServiceError when the file cannot be written; the settings are kept
    // in memory (and handed on) all the same.
    void save(const AlertSettings& settings);

    // From here on save() returns at once: `writer` writes the file on its own
    // thread and logs a failure (at error level) instead of throwing it. The
    // writer must be finished before this store goes.
    void setBackgroundWriter(BackgroundWriter* writer) { m_background = writer; }

    // Called with the new settings on every save, on the caller's thread.
    void setSavedHandler(std::function<void(const AlertSettings&)> handler)
    {
        m_savedHandler = std::move(handler);
    }

    // Where load() put a damaged file; empty when it did not.
    QString keptAsidePath() const { return m_keptAside; }

private:
    void keepAside(const QString& reason);
    void writeFile(const AlertSettings& settings) const;

    QString m_filePath;
    AlertSettings m_settings;
    QString m_keptAside;
    std::function<void(const AlertSettings&)> m_savedHandler;
    BackgroundWriter* m_background = nullptr;
};
