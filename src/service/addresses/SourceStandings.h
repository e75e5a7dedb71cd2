#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

// Remembers which sources disagreed with the address that the others agreed
// on. One that does so in two checks in a row (a captive portal, a broken or
// hostile service) is logged once and set aside for an hour, so that it no
// longer costs a third question in every check.
class SourceStandings
{
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    struct Answer
    {
        QString source;
        QString address; // or, for a problem, its reason
    };

    explicit SourceStandings(Clock clock = &std::chrono::steady_clock::now,
                             std::chrono::milliseconds setAsideFor = std::chrono::hours(1));

    // After a check that agreed on `agreed`: each answer tells whether its
    // source went with the others.
    void checked(const QList<Answer>& answers, const QString& agreed);
    // After any check: a source's problem is logged when it first has it (or
    // another one), and its recovery when it answers again; a problem that
    // stays is not logged again every minute.
    void troubles(const QList<Answer>& problems, const QList<Answer>& answers);
    // The sources not to ask now.
    QStringList setAside();

    static constexpr int DissentsInARow = 2;

private:
    Clock m_clock;
    std::chrono::milliseconds m_setAsideFor;
    QHash<QString, int> m_dissents;
    QHash<QString, std::chrono::steady_clock::time_point> m_until;
    QHash<QString, QString> m_problems;
};
