#pragma once

#include "service/addresses/Addresses.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// The alerts of the last change that have not gone out yet, kept in the state
// folder so that a service stopped meanwhile (the computer shut down while the
// network was away) sends them when it starts again.
//
// The file holds four lines: "previous <public> <local>", "current <public>
// <local>", "when <ISO date and time>" and "alerts <names, comma-separated>";
// when the change knows IPv6 addresses, two more follow: "previous-ipv6
// <public> <local>" and "current-ipv6 <public> <local>". A file of a version
// before IPv6 (four lines) is read as a change without IPv6 addresses.
class PendingAlerts
{
public:
    struct Change
    {
        Addresses previous;
        Addresses current;
        QDateTime when;
        QStringList alerts; // the names of the alerts still to send
    };

    explicit PendingAlerts(const QString& stateDir);

    QString filePath() const { return m_filePath; }

    // Nothing when there is no file, or it is not one of ours. A file that is
    // not a regular file, or too large, is not read, and said so.
    std::optional<Change> load() const;
    // The change the text of such a file holds; nothing unless it is whole.
    static std::optional<Change> parse(const QByteArray& text);
    // Replaces the file atomically (on failure the old file stays whole);
    // removes it when no alert is left. Failures
    // are logged: the alerts go out all the same, only a restart would miss them.
    void save(const Change& change) const;

private:
    QString m_filePath;
};
