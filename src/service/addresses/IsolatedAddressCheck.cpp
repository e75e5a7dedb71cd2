#include "service/addresses/IsolatedAddressCheck.h"

#include "common/PublicIpv6Address.h"
#include "common/TimeLimits.h"
#include "helpers/EchoCheckReport.h"
#include "helpers/HelperRun.h"

#include <QTimer>

IsolatedAddressCheck::IsolatedAddressCheck(QString helper, QList<EchoSource> sources,
                                           std::chrono::milliseconds timeoutPerSource,
                                           SourceStandings standings, QObject* parent)
    : IsolatedAddressCheck(std::move(helper), std::move(sources), timeoutPerSource,
                           AddressFamily::Ipv4, std::move(standings), parent)
{
}

IsolatedAddressCheck::IsolatedAddressCheck(QString helper, QList<EchoSource> sources,
                                           std::chrono::milliseconds timeoutPerSource,
                                           AddressFamily family, SourceStandings standings,
                                           QObject* parent)
    : PublicAddressSource(parent), m_helper(std::move(helper)), m_family(family),
      m_sources(sourcesFor(sources, family)), m_standings(std::move(standings)),
      m_timeout(timeoutPerSource)
{
}

// A helper still running is killed with its HelperRun.
IsolatedAddressCheck::~IsolatedAddressCheck() = default;

void IsolatedAddressCheck::start()
{
    if (isRunning())
        return;
    // Lists without an IPv6 source (the user's own, or a test's) leave the
    // public IPv6 address unknown, as a network without IPv6 does: no helper
    // to run, nothing to warn about.
    if (m_sources.isEmpty() && m_family == AddressFamily::Ipv6) {
        QTimer::singleShot(0, this, [this] {
            emit failed(NoConnectivity + QStringLiteral(": no source in the lists asks over IPv6"));
        });
        return;
    }
    QStringList arguments{QStringLiteral("--timeout"),
                          QString::number(double(m_timeout.count()) / 1000.0, 'f', 3)};
    if (m_family == AddressFamily::Ipv6)
        arguments << QStringLiteral("--family") << QStringLiteral("6");
    if (!knownAddress().isEmpty())
        arguments << QStringLiteral("--known") << knownAddress();
    for (const QString& source : m_standings.setAside())
        arguments << QStringLiteral("--set-aside") << source;
    arguments << QStringLiteral("--");
    for (const EchoSource& source : m_sources)
        arguments << source.toText();
    // Room for the helper to start and end, on top of the time its sources may take.
    const std::chrono::milliseconds limit =
        m_timeout * qMax<qsizetype>(1, m_sources.size()) + timelimits::HelperStart;
    m_run = new HelperRun({m_helper, arguments, {}, limit}, this);
    connect(m_run, &HelperRun::ended, this, &IsolatedAddressCheck::onEnded);
    m_run->start();
}

void IsolatedAddressCheck::onEnded(const HelperEnd& end)
{
    switch (end.kind) {
    case HelperEnd::NotStarted:
        return finish({}, QStringLiteral("cannot start the check: %1").arg(end.error));
    case HelperEnd::TooLong:
        return finish({}, QStringLiteral("the check took too long and was stopped"));
    case HelperEnd::Exited:
    case HelperEnd::Crashed:
        break;
    }
    if (const std::optional<echoreport::Result> result = echoreport::read(end.report, m_family)) {
        // An IPv6 source goes with the others when its answer is in their /64.
        const auto standing = [this](const QString& address) {
            return m_family == AddressFamily::Ipv6 ? publicipv6::prefix64(address) : address;
        };
        QList<SourceStandings::Answer> answers;
        for (const echoreport::Answer& answer : result->answers)
            answers.append({answer.source, standing(answer.address)});
        QList<SourceStandings::Answer> problems;
        for (const echoreport::Answer& problem : result->problems)
            problems.append({problem.source, problem.address});
        // (When no address comes of the check, the watcher's warning says
        // what each source did.)
        if (!result->address.isEmpty()) {
            m_standings.troubles(problems, answers);
            m_standings.checked(answers, standing(result->address));
        }
        return finish(result->address, result->reason);
    }
    finish({}, QStringLiteral("the check ended without a result (exit code %1)").arg(end.exitCode));
}

void IsolatedAddressCheck::finish(const QString& address, const QString& reason)
{
    m_run->disconnect(this);
    m_run->deleteLater();
    m_run = nullptr;
    if (address.isEmpty())
        emit failed(reason);
    else
        emit found(address);
}
