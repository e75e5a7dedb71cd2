#pragma once

#include "helpers/AddressFamily.h"

#include <QList>
#include <QString>

// Decides, one answer at a time, what a check's answers say. A new address
// counts only when two sources of different operators give it; when the first
// two disagree a third decides. A first answer that is the address already
// known ends the check at once: nothing new is claimed, so nothing needs
// confirming, and a quiet check costs one question. IPv6 answers are the same
// address when their /64 prefixes are (a temporary address's host part
// changes daily and from one connection to the next); the address agreed on
// is then the last of the agreeing answers, in full.
class AddressAgreement
{
public:
    enum class Outcome
    {
        Open,      // ask the next source
        Agreed,    // address() is the public address
        Disagreed, // three answers and no two agree: keep the known address
    };

    struct Answer
    {
        QString source;
        QString operatorName;
        QString address;
    };

    // known: the address known before the check (may be empty). alone: the
    // list names a single operator, whose answer is then taken alone.
    AddressAgreement(QString known, bool alone, AddressFamily family = AddressFamily::Ipv4);

    // Whether an answer of this operator can still count.
    bool wants(const QString& operatorName) const;
    Outcome add(const Answer& answer);

    Outcome outcome() const { return m_outcome; }
    QString address() const { return m_address; }
    const QList<Answer>& answers() const { return m_answers; }
    // Why nothing was agreed, once the sources are used up or Disagreed:
    // each answer with its source.
    QString disagreement() const;

private:
    bool same(const QString& first, const QString& second) const;

    QString m_known;
    AddressFamily m_family;
    bool m_alone;
    QList<Answer> m_answers;
    Outcome m_outcome = Outcome::Open;
    QString m_address;
};
