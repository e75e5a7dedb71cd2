#pragma once

#include "service/ServiceLog.h"

#include <QObject>
#include <QSet>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <sys/types.h>

// The log's account of refused connections. A stranger connecting in a loop
// must not fill the journal: the first refusal of each owner is told at once,
// the ones that follow are counted and told as one line at the end of each
// spell (a minute) that had any. After a spell without refusals, the next one
// is told at once again.
class RefusalSummary : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(LogLevel, const QString&)>;

    explicit RefusalSummary(std::chrono::milliseconds spell = std::chrono::minutes(1),
                            Sink sink = nullptr, QObject* parent = nullptr);

    // A connection of `uid` was refused; none when its owner cannot be told.
    void refused(std::optional<uid_t> uid);

private:
    void endSpell();
    static QString who(std::optional<uid_t> uid);

    Sink m_sink;
    QTimer m_spell;
    int m_count = 0;         // refused and not told since the last line
    QSet<QString> m_told;    // owners told at once since the last quiet spell
    QSet<QString> m_counted; // owners among m_count
};
