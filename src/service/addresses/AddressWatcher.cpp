#include "service/addresses/AddressWatcher.h"

#include "common/Ipv6Address.h"
#include "helpers/PublicAddressSource.h"
#include "service/addresses/LocalAddressSource.h"
#include "service/base/ServiceLog.h"

AddressWatcher::AddressWatcher(LocalAddressSource& local, PublicAddressSource& checker,
                               Timing timing, Addresses remembered, QObject* parent)
    : QObject(parent), m_local(local), m_checker(checker), m_timing(timing), m_current(remembered),
      m_remembered(remembered)
{
    m_interval.setSingleShot(true);
    m_interval.setInterval(m_timing.echoInterval);
    connect(&m_interval, &QTimer::timeout, this, &AddressWatcher::startCheck);
    m_gap.setSingleShot(true);
    connect(&m_gap, &QTimer::timeout, this, &AddressWatcher::startCheck);
    m_moveWait.setSingleShot(true);
    m_moveWait.setTimerType(Qt::PreciseTimer); // a wait of a second is not cut short by 5%
    m_moveWait.setInterval(m_timing.moveWait);
    connect(&m_moveWait, &QTimer::timeout, this, [this] {
        const QString seconds = QString::number(double(m_timing.moveWait.count()) / 1000.0);
        if (m_moveFrom) {
            logLine(LogLevel::Notice,
                    QStringLiteral("the public address was not checked within %1 s of the local "
                                   "change; recording the local change alone")
                        .arg(seconds));
            reportMove();
        } else if (m_awaitingIpv6) {
            logLine(LogLevel::Notice,
                    QStringLiteral("the public IPv6 address was not checked within %1 s; "
                                   "recording the change without it")
                        .arg(seconds));
            reportAwaited();
        }
    });
    connect(&m_local, &LocalAddressSource::mayHaveChanged, this,
            &AddressWatcher::onLocalMayHaveChanged);
    connect(&m_checker, &PublicAddressSource::found, this, &AddressWatcher::onPublicFound);
    connect(&m_checker, &PublicAddressSource::failed, this, &AddressWatcher::onPublicFailed);
    m_lastPublicIpv6 = remembered.publicIpv6;
}

AddressWatcher::AddressWatcher(LocalAddressSource& local, PublicAddressSource& checker,
                               PublicAddressSource& ipv6Checker, Timing timing,
                               Addresses remembered, QObject* parent)
    : AddressWatcher(local, checker, timing, std::move(remembered), parent)
{
    m_ipv6Checker = &ipv6Checker;
    connect(m_ipv6Checker, &PublicAddressSource::found, this, &AddressWatcher::onPublicIpv6Found);
    connect(m_ipv6Checker, &PublicAddressSource::failed, this, &AddressWatcher::onPublicIpv6Failed);
}

void AddressWatcher::start()
{
    m_started = true;
    m_current = withLocalRead(); // compared with the remembered ones after the first check
    startCheck();
}

Addresses AddressWatcher::withLocalRead() const
{
    Addresses read = m_current;
    if (const QString address = m_local.currentAddress(); !address.isEmpty())
        read.localIp = address;
    // (An IPv6 address goes away for a moment when a prefix is replaced: the
    // old one deprecated before the new one has passed its duplicate check.)
    if (const QString address = m_watchIpv6 ? m_local.currentIpv6Address() : QString();
        !address.isEmpty())
        read.localIpv6 = address;
    return read;
}

void AddressWatcher::setIpv6Watched(bool watched)
{
    if (watched == m_watchIpv6)
        return;
    m_watchIpv6 = watched;
    const Addresses before = m_current;
    if (!watched) {
        m_current = m_current.withoutIpv6();
        m_remembered = m_remembered.withoutIpv6();
        if (m_moveFrom)
            m_moveFrom = m_moveFrom->withoutIpv6();
        m_lastPublicIpv6.clear();
        m_ipv6CheckAgainWhenDone = false;
        if (m_awaitingIpv6)
            reportAwaited();
    } else if (m_started) {
        // What is found now is learned, not changed.
        m_current = withLocalRead();
        startIpv6Check();
    }
    if (m_current != before)
        emit currentChanged(m_current);
}

void AddressWatcher::onLocalMayHaveChanged()
{
    const Addresses read = withLocalRead();
    if (read.localIp == m_current.localIp && read.localIpv6 == m_current.localIpv6)
        return;
    if (m_firstCheckPending) {
        m_current = read; // compared with the remembered ones after the first check
        requestCheck();
        return;
    }
    // Every local change is one change: one that still waits goes first.
    if (m_moveFrom)
        reportMove();
    if (m_awaitingIpv6)
        reportAwaited();
    m_moveFrom = m_current;
    m_current = read;
    m_moveWait.start();
    if (m_checker.isRunning())
        m_checkIsStale = true;
    if (m_ipv6Checker && m_ipv6Checker->isRunning())
        m_ipv6CheckAgainWhenDone = true;
    // A new local network often means a new public address too.
    requestCheck();
}

void AddressWatcher::onPublicFound(const QString& address)
{
    if (m_firstCheckPending) {
        m_firstCheckPending = false;
        m_current.publicIp = address;
        reportWithIpv6(m_remembered);
    } else if (!(m_moveFrom && m_checkIsStale)) {
        // (A check from before the move says nothing sure about the new
        // network: the move waits for the one after it.)
        const Addresses previous = m_moveFrom.value_or(m_current);
        m_moveFrom.reset();
        m_moveWait.stop();
        m_current.publicIp = address;
        reportWithIpv6(previous);
    }
    m_checkIsStale = false;
    emit publicCheckFinished(true);
    afterCheck();
}

void AddressWatcher::onPublicFailed(const QString& reason)
{
    logLine(LogLevel::Warning,
            QStringLiteral("the public address could not be checked; keeping %1: %2")
                .arg(m_current.publicIp.isEmpty() ? QStringLiteral("none") : m_current.publicIp,
                     reason));
    if (m_firstCheckPending) {
        m_firstCheckPending = false;
        reportWithIpv6(m_remembered);
    } else if (m_moveFrom && !m_checkIsStale) {
        const Addresses previous = *m_moveFrom;
        m_moveFrom.reset();
        m_moveWait.stop();
        reportWithIpv6(previous);
    }
    m_checkIsStale = false;
    emit publicCheckFinished(false);
    afterCheck();
}

void AddressWatcher::onPublicIpv6Found(const QString& text)
{
    const QString address = ipv6::canonical(text.toLatin1());
    if (address.isEmpty()) {
        onPublicIpv6Failed(QStringLiteral("'%1' is no IPv6 address").arg(text));
        return;
    }
    // An answer to a check from before the last local change says nothing
    // sure about the network now: the next one counts.
    if (m_ipv6CheckAgainWhenDone) {
        startIpv6Check();
        return;
    }
    if (!m_watchIpv6)
        return;
    const Addresses before = m_current;
    const QString lastFound = std::exchange(m_lastPublicIpv6, address);
    m_current.publicIpv6 = address;
    afterIpv6Check(before, lastFound);
}

void AddressWatcher::afterIpv6Check(const Addresses& before, const QString& lastFound)
{
    // Found after a time without IPv6: compared with the one before that time.
    const auto compared = [&lastFound](Addresses previous) {
        if (previous.publicIpv6.isEmpty())
            previous.publicIpv6 = lastFound;
        return previous;
    };
    if (m_awaitingIpv6) {
        const Addresses previous = compared(*m_awaitingIpv6);
        m_awaitingIpv6.reset();
        m_moveWait.stop();
        report(previous);
        return;
    }
    // A change still waiting for the IPv4 check reports this address with its own.
    if (!m_firstCheckPending && !m_moveFrom)
        report(compared(before), before);
}

void AddressWatcher::reportWithIpv6(const Addresses& previous)
{
    if (m_ipv6Checker && m_watchIpv6 && m_ipv6Checker->isRunning()) {
        m_awaitingIpv6 = previous;
        m_moveWait.start(); // but no longer than a move waits for the IPv4 check
        return;
    }
    report(previous);
}

void AddressWatcher::reportAwaited()
{
    const Addresses previous = *m_awaitingIpv6;
    m_awaitingIpv6.reset();
    m_moveWait.stop();
    report(previous);
}

void AddressWatcher::onPublicIpv6Failed(const QString& reason)
{
    if (m_ipv6CheckAgainWhenDone) {
        startIpv6Check();
        return;
    }
    if (!m_watchIpv6)
        return;
    // Sources that answer but do not agree say nothing about the address: it
    // stays as it was, as the IPv4 one does.
    if (!PublicAddressSource::meansNoConnectivity(reason)) {
        logLine(
            LogLevel::Warning,
            QStringLiteral("no public IPv6 address agreed on; keeping %1: %2")
                .arg(m_current.publicIpv6.isEmpty() ? QStringLiteral("none") : m_current.publicIpv6,
                     reason));
        afterIpv6Check(m_current, m_lastPublicIpv6);
        return;
    }
    if (!m_current.publicIpv6.isEmpty())
        logLine(LogLevel::Notice, QStringLiteral("no public IPv6 address (was %1): %2")
                                      .arg(m_current.publicIpv6, reason));
    const Addresses before = m_current;
    m_current.publicIpv6.clear(); // shown as none; never a change
    afterIpv6Check(before, m_lastPublicIpv6);
}

void AddressWatcher::startIpv6Check()
{
    if (!m_ipv6Checker || !m_watchIpv6)
        return;
    // A check on its way may have asked through a network that is gone.
    if (m_ipv6Checker->isRunning()) {
        m_ipv6CheckAgainWhenDone = true;
        return;
    }
    m_ipv6CheckAgainWhenDone = false;
    m_ipv6Checker->setKnownAddress(m_current.publicIpv6);
    m_ipv6Checker->start();
}

void AddressWatcher::reportMove()
{
    const Addresses previous = *m_moveFrom;
    m_moveFrom.reset();
    m_moveWait.stop();
    report(previous);
}

void AddressWatcher::report(const Addresses& previous, const Addresses& shownBefore)
{
    // The change first: its history line should not wait for the addresses to
    // be kept, and a service that ends in between reports it again at the next
    // start rather than never.
    if (m_current.changedFrom(previous))
        emit changed(previous, m_current);
    if (m_current != shownBefore)
        emit currentChanged(m_current);
}

void AddressWatcher::setInterval(std::chrono::milliseconds interval)
{
    m_timing.echoInterval = interval;
    if (!m_interval.isActive()) {
        m_interval.setInterval(interval);
        return;
    }
    // The next check comes the new interval after the last one.
    const std::chrono::milliseconds since(
        m_sinceCheckStarted.isValid() ? m_sinceCheckStarted.elapsed() : 0);
    m_interval.start(std::max(std::chrono::milliseconds(0), interval - since));
}

void AddressWatcher::checkNow()
{
    if (m_checker.isRunning()) {
        m_checkNowWhenDone = true;
        return;
    }
    startCheck();
}

void AddressWatcher::afterCheck()
{
    m_interval.start(m_timing.echoInterval);
    if (m_checkNowWhenDone) {
        m_checkNowWhenDone = false;
        m_checkAgainWhenDone = false;
        startCheck();
        return;
    }
    if (m_checkAgainWhenDone) {
        // The local change came while a check was on its way: it may have
        // asked through the old network.
        m_checkAgainWhenDone = false;
        requestCheck();
    }
}

void AddressWatcher::requestCheck()
{
    if (m_checker.isRunning()) {
        m_checkAgainWhenDone = true;
        return;
    }
    const std::chrono::milliseconds since(m_sinceCheckStarted.isValid()
                                              ? m_sinceCheckStarted.elapsed()
                                              : m_timing.echoMinGap.count());
    if (since >= m_timing.echoMinGap) {
        startCheck();
        return;
    }
    const std::chrono::milliseconds wait = m_timing.echoMinGap - since;
    if (!m_gap.isActive() || m_gap.remainingTimeAsDuration() > wait)
        m_gap.start(wait);
}

void AddressWatcher::startCheck()
{
    if (m_checker.isRunning())
        return;
    m_gap.stop();
    m_interval.stop();
    m_sinceCheckStarted.start();
    m_checker.setKnownAddress(m_current.publicIp);
    m_checker.start();
    startIpv6Check();
}
