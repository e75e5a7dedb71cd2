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
}

QString RefusalSummary::who(std::optional<uid_t> uid)
{
    return uid ? QStringLiteral("user %1").arg(*uid)
               : QStringLiteral("an owner that cannot be told");
}

void RefusalSummary::refused(std::optional<uid_t> uid)
{
    const QString owner = who(uid);
    if (!m_spell.isActive())
        m_spell.start();
    if (!m_told.contains(owner)) {
        m_told.insert(owner);
        m_sink(LogLevel::Warning,
               uid ? QStringLiteral("refused a connection from user %1").arg(*uid)
                   : QStringLiteral("refused a connection whose owner cannot be told"));
        return;
    }
    ++m_count;
    m_counted.insert(owner);
}

void RefusalSummary::endSpell()
{
    if (m_count == 0) {
        m_told.clear(); // quiet: the next refusal is told at once
        return;
    }
    QStringList owners = m_counted.values();
    std::sort(owners.begin(), owners.end());
    const auto seconds = std::max<qint64>(
        1, std::chrono::duration_cast<std::chrono::seconds>(m_spell.intervalAsDuration()).count());
    m_sink(LogLevel::Warning, (m_count == 1 ? QStringLiteral("refused %1 more connection in the "
                                                             "last %2 s (%3)")
                                            : QStringLiteral("refused %1 more connections in the "
                                                             "last %2 s (%3)"))
                                  .arg(m_count)
                                  .arg(seconds)
                                  .arg(owners.join(QStringLiteral(", "))));
    m_count = 0;
    m_counted.clear();
    m_spell.start();
}
