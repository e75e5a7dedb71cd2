#include "echo_check/AddressAgreement.h"

#include "common/PublicIpv6Address.h"

#include <QSet>
#include <QStringList>

namespace {

// The answers that settle a disagreement of the first two.
constexpr qsizetype MostAnswers = 3;

} // namespace

AddressAgreement::AddressAgreement(QString known, bool alone, AddressFamily family)
    : m_known(std::move(known)), m_family(family), m_alone(alone)
{
}

bool AddressAgreement::same(const QString& first, const QString& second) const
{
    if (m_family == AddressFamily::Ipv6)
        return publicipv6::samePrefix(first, second);
    return first == second;
}

bool AddressAgreement::wants(const QString& operatorName) const
{
    if (m_outcome != Outcome::Open)
        return false;
    for (const Answer& answer : m_answers) {
        if (answer.operatorName == operatorName)
            return false;
    }
    return true;
}

AddressAgreement::Outcome AddressAgreement::add(const Answer& answer)
{
    if (m_outcome != Outcome::Open)
        return m_outcome;
    m_answers.append(answer);
    const auto settle = [this](const QString& address) {
        m_address = address;
        m_outcome = Outcome::Agreed;
        return m_outcome;
    };
    if (m_alone || (m_answers.size() == 1 && same(answer.address, m_known)))
        return settle(answer.address);
    QSet<QString> operators;
    for (const Answer& earlier : std::as_const(m_answers)) {
        if (same(earlier.address, answer.address))
            operators.insert(earlier.operatorName);
    }
    if (operators.size() >= 2)
        return settle(answer.address);
    if (m_answers.size() >= MostAnswers)
        m_outcome = Outcome::Disagreed;
    return m_outcome;
}

QString AddressAgreement::disagreement() const
{
    if (m_answers.isEmpty())
        return QStringLiteral("no source answered");
    QStringList said;
    for (const Answer& answer : m_answers)
        said << QStringLiteral("%1 said %2").arg(answer.source, answer.address);
    const QString lead = m_answers.size() == 1
                             ? QStringLiteral("only one source answered, and no other confirmed it")
                             : QStringLiteral("no two sources of different operators agree");
    return lead + QStringLiteral(" (") + said.join(QStringLiteral(", ")) + QLatin1Char(')');
}
