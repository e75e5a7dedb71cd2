#include "service/addresses/IsolatedAddressCheck.h"

#include "service/addresses/Ipv4Address.h"
#include "service/addresses/PublicAddressChecker.h"

#include <QEventLoop>
#include <cstdio>

namespace {

// The helper's one line of output.
constexpr char FoundPrefix[] = "found ";
constexpr char FailedPrefix[] = "failed ";

// Room for the helper to start and end, on top of the time its services may take.
constexpr std::chrono::milliseconds StartAndEnd(10000);

} // namespace

IsolatedAddressCheck::IsolatedAddressCheck(QList<QUrl> urls,
                                           std::chrono::milliseconds timeoutPerUrl, QObject* parent)
    : PublicAddressSource(parent), m_urls(std::move(urls)), m_timeout(timeoutPerUrl)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(m_timeout * qMax<qsizetype>(1, m_urls.size()) + StartAndEnd);
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
    QStringList arguments{QStringLiteral("--check-public-address"),
                          QStringLiteral("--echo-timeout"),
                          QString::number(double(m_timeout.count()) / 1000.0, 'f', 3)};
    for (const QUrl& url : m_urls)
        arguments << QStringLiteral("--echo-url") << url.toString(QUrl::FullyEncoded);
    m_tooLong = false;
    m_process = new QProcess(this);
    // This very program, even when its file has been replaced since it started.
    m_process->setProgram(QStringLiteral("/proc/self/exe"));
    m_process->setArguments(arguments);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
    const QByteArray output = m_process->readAllStandardOutput().trimmed();
    if (m_tooLong)
        return finish({}, QStringLiteral("the check took too long and was stopped"));
    if (output.startsWith(FoundPrefix)) {
        // Our own helper, but the address still has to be one.
        const std::optional<QString> address =
            ipv4::publicAddressFromEchoBody(output.mid(qsizetype(sizeof FoundPrefix - 1)));
        if (address)
            return finish(*address, {});
    }
    if (output.startsWith(FailedPrefix))
        return finish({}, QString::fromLocal8Bit(output.mid(qsizetype(sizeof FailedPrefix - 1))));
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

int IsolatedAddressCheck::runHelper(const QList<QUrl>& urls,
                                    std::chrono::milliseconds timeoutPerUrl)
{
    PublicAddressChecker checker(urls, timeoutPerUrl);
    QEventLoop loop;
    QByteArray result;
    connect(&checker, &PublicAddressSource::found, &loop, [&result, &loop](const QString& a) {
        result = FoundPrefix + a.toLatin1();
        loop.quit();
    });
    connect(&checker, &PublicAddressSource::failed, &loop, [&result, &loop](const QString& r) {
        result = FailedPrefix + r.toLocal8Bit().replace('\n', ' ');
        loop.quit();
    });
    checker.start();
    if (checker.isRunning())
        loop.exec();
    std::fputs((result + '\n').constData(), stdout);
    std::fflush(stdout);
    return result.startsWith(FoundPrefix) ? 0 : 1;
}
