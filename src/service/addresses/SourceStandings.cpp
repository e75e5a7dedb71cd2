#include "service/addresses/SourceStandings.h"

#include "service/base/ServiceLog.h"

SourceStandings::SourceStandings(Clock clock, std::chrono::milliseconds setAsideFor)
    : m_clock(std::move(clock)), m_setAsideFor(setAsideFor)
{
}

void SourceStandings::checked(const QList<Answer>& answers, const QString& agreed)
{
    for (const Answer& answer : answers) {
        if (answer.address == agreed) {
            m_dissents.remove(answer.source);
            continue;
        }
        if (++m_dissents[answer.source] < DissentsInARow)
            continue;
        m_dissents.remove(answer.source);
        m_until.insert(answer.source, m_clock() + m_setAsideFor);
        logLine(LogLevel::Warning,
                QStringLiteral("%1 keeps answering another address than the other sources (%2, "
                               "where they agree on %3); it is set aside for %4 minutes")
                    .arg(answer.source, answer.address, agreed)
                    .arg(std::chrono::duration_cast<std::chrono::minutes>(m_setAsideFor).count()));
    }
}

void SourceStandings::troubles(const QList<Answer>& problems, const QList<Answer>& answers)
{
    for (const Answer& problem : problems) {
        QString& known = m_problems[problem.source];
        if (known == problem.address)
            continue;
        known = problem.address;
        logLine(LogLevel::Warning, QStringLiteral("%1 gives no address: %2; asking the next source")
                                       .arg(problem.source, problem.address));
    }
    for (const Answer& answer : answers) {
        if (m_problems.remove(answer.source) > 0)
            logLine(LogLevel::Notice,
                    QStringLiteral("%1 answers again (%2)").arg(answer.source, answer.address));
    }
}

QStringList SourceStandings::setAside()
{
    const auto now = m_clock();
    QStringList sources;
    for (auto it = m_until.begin(); it != m_until.end();) {
        if (it.value() <= now) {
            it = m_until.erase(it);
        } else {
            sources << it.key();
            ++it;
        }
    }
    sources.sort();
    return sources;
}
