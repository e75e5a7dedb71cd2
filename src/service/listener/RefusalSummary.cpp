#include "service/listener/RefusalSummary.h"

#include <QStringList>
#include <algorithm>

RefusalSummary::RefusalSummary(std::chrono::milliseconds spell, Sink sink, QObject* parent)
    : QObject(parent),
      m_sink(sink ? std::move(sink)
                  : Sink([](LogLevel level, const QString& text) { logLine(level, text); }))
{
    m_spell.setSingleShot(true);
    m_spell.setInterval(spell);
    connect(&m_spell, &QTimer::timeout, this, &RefusalSummary::endSpell);
    m_refused.many = QStringLiteral("refused %1 more connections in the last %2 s (%3)");
    m_refused.one = QStringLiteral("refused %1 more connection in the last %2 s (%3)");
    m_closed.many = QStringLiteral("closed %1 more connections without an answer in the last "
                                   "%2 s (%3)");
    m_closed.one = QStringLiteral("closed %1 more connection without an answer in the last %2 s "
                                  "(%3)");
}

void RefusalSummary::refused(std::optional<uid_t> uid)
{
    if (uid)
        add(m_refused, QStringLiteral("user %1").arg(*uid),
            QStringLiteral("refused a connection from user %1").arg(*uid));
    else
        add(m_refused, QStringLiteral("an owner that cannot be told"),
            QStringLiteral("refused a connection whose owner cannot be told"));
}

void RefusalSummary::closed(const QString& reason)
{
    add(m_closed, reason, QStringLiteral("closed a connection without an answer: %1").arg(reason));
}

void RefusalSummary::add(Tally& tally, const QString& key, const QString& atOnce)
{
    if (!m_spell.isActive())
        m_spell.start();
    if (!tally.told.contains(key)) {
        tally.told.insert(key);
        m_sink(LogLevel::Warning, atOnce);
        return;
    }
    ++tally.counted[key];
}

void RefusalSummary::endSpell()
{
    if (m_refused.counted.isEmpty() && m_closed.counted.isEmpty()) {
        // Quiet: the next one is told at once.
        m_refused.told.clear();
        m_closed.told.clear();
        return;
    }
    const auto seconds = std::max<qint64>(
        1, std::chrono::duration_cast<std::chrono::seconds>(m_spell.intervalAsDuration()).count());
    for (Tally* tally : {&m_refused, &m_closed}) {
        if (tally->counted.isEmpty())
            continue;
        int count = 0;
        for (const int n : std::as_const(tally->counted))
            count += n;
        // QMap keeps its keys sorted.
        m_sink(LogLevel::Warning, (count == 1 ? tally->one : tally->many)
                                      .arg(count)
                                      .arg(seconds)
                                      .arg(tally->counted.keys().join(QStringLiteral(", "))));
        tally->counted.clear();
    }
    m_spell.start();
}
