#pragma once

#include "service/base/ServiceLog.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <sys/types.h>

// The log's account of connections turned away: refused (another user's) or
// closed without an answer (a request too slow, or room needed for a newer
// one). A stranger connecting in a loop, or a flood of slow connections, must
// not fill the journal: the first of each owner or reason is told at once, the
// ones that follow are counted and told as one line at the end of each spell (a
// minute) that had any. After a spell without any, the next one is told at once
// again.
class RefusalSummary : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(LogLevel, const QString&)>;

    explicit RefusalSummary(std::chrono::milliseconds spell = std::chrono::minutes(1),
                            Sink sink = nullptr, QObject* parent = nullptr);

    // A connection of `uid` was refused; none when its owner cannot be told.
    void refused(std::optional<uid_t> uid);
    // A connection of the service's own user was closed without an answer.
    void closed(const QString& reason);

private:
    // One kind of turning away, counted by owner or reason.
    struct Tally
    {
        QString many; // the spell's line: %1 the count, %2 the seconds, %3 the owners or reasons
        QString one;  // the same for a count of one
        QSet<QString> told;         // told at once since the last quiet spell
        QMap<QString, int> counted; // counted and not told yet
    };
    void add(Tally& tally, const QString& key, const QString& atOnce);
    void endSpell();

    Sink m_sink;
    QTimer m_spell;
    Tally m_refused;
    Tally m_closed;
};
