#include "service/addresses/IsolatedAddressCheck.h"

#include "service/addresses/EchoCheckReport.h"
#include "service/addresses/PublicIpv6Address.h"
#include "service/base/ChildSignals.h"

namespace {

// Room for the helper to start and end, on top of the time its services may take.
constexpr std::chrono::milliseconds StartAndEnd(10000);

} // namespace

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
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(m_timeout * qMax<qsizetype>(1, m_sources.size()) + StartAndEnd);
    connect(&m_deadline, &QTimer::timeout, this, &IsolatedAddressCheck::onTooLong);
}

IsolatedAddressCheck::~IsolatedAddressCheck()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

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
    m_tooLong = false;
    m_process = new QProcess(this);
    m_process->setProgram(m_helper);
    m_process->setArguments(arguments);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startsWithDefaultSignals(*m_process);
    connect(m_process, &QProcess::finished, this, &IsolatedAddressCheck::onFinished);
    connect(m_process, &QProcess::errorOccurred, this, &IsolatedAddressCheck::onErrorOccurred);
    m_deadline.start();
    m_process->start();
}

void IsolatedAddressCheck::onErrorOccurred(QProcess::ProcessError error)
{
    // Other errors end in finished() as well.
    if (error == QProcess::FailedToStart && m_process)
        finish({}, QStringLiteral("cannot start the check: %1").arg(m_process->errorString()));
}

void IsolatedAddressCheck::onTooLong()
{
    if (!m_process)
        return;
    m_tooLong = true;
    m_process->kill(); // finished() follows
}

void IsolatedAddressCheck::onFinished()
{
    if (!m_process)
        return;
    const QByteArray output = m_process->readAllStandardOutput();
    if (m_tooLong)
        return finish({}, QStringLiteral("the check took too long and was stopped"));
    if (const std::optional<echoreport::Result> result = echoreport::read(output, m_family)) {
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
    finish({}, QStringLiteral("the check ended without a result (exit code %1)")
                   .arg(m_process->exitCode()));
}

void IsolatedAddressCheck::finish(const QString& address, const QString& reason)
{
    m_deadline.stop();
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
    if (address.isEmpty())
        emit failed(reason);
    else
        emit found(address);
}
