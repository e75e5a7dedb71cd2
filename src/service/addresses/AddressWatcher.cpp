#include "service/addresses/AddressWatcher.h"

#include "service/ServiceLog.h"
#include "service/addresses/LocalAddressSource.h"
#include "service/addresses/PublicAddressSource.h"

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
        logLine(LogLevel::Notice,
                QStringLiteral("the public address was not checked within %1 s of the local "
                               "change; recording the local change alone")
                    .arg(double(m_timing.moveWait.count()) / 1000.0));
        reportMove();
    });
    connect(&m_local, &LocalAddressSource::mayHaveChanged, this,
            &AddressWatcher::onLocalMayHaveChanged);
    connect(&m_checker, &PublicAddressSource::found, this, &AddressWatcher::onPublicFound);
    connect(&m_checker, &PublicAddressSource::failed, this, &AddressWatcher::onPublicFailed);
}

void AddressWatcher::start()
{
    if (const QString address = m_local.currentAddress(); !address.isEmpty())
        m_current.localIp = address; // compared with the remembered one after the first check
    startCheck();
}

void AddressWatcher::onLocalMayHaveChanged()
{
    const QString address = m_local.currentAddress();
    if (address.isEmpty() || address == m_current.localIp)
        return;
    if (m_firstCheckPending) {
        m_current.localIp = address; // compared with the remembered one after the first check
        requestCheck();
        return;
    }
    // Every local change is one change: one that still waits goes first.
    if (m_moveFrom)
        reportMove();
    m_moveFrom = m_current;
    m_current.localIp = address;
    m_moveWait.start();
    if (m_checker.isRunning())
        m_checkIsStale = true;
    // A new local network often means a new public address too.
    requestCheck();
}

void AddressWatcher::onPublicFound(const QString& address)
{
    if (m_firstCheckPending) {
        m_firstCheckPending = false;
        m_current.publicIp = address;
        report(m_remembered);
    } else if (!(m_moveFrom && m_checkIsStale)) {
        // (A check from before the move says nothing sure about the new
        // network: the move waits for the one after it.)
        const Addresses previous = m_moveFrom.value_or(m_current);
        m_moveFrom.reset();
        m_moveWait.stop();
        m_current.publicIp = address;
        report(previous);
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
        report(m_remembered);
    } else if (m_moveFrom && !m_checkIsStale) {
        reportMove();
    }
    m_checkIsStale = false;
    emit publicCheckFinished(false);
    afterCheck();
}

void AddressWatcher::reportMove()
{
    const Addresses previous = *m_moveFrom;
    m_moveFrom.reset();
    m_moveWait.stop();
    report(previous);
}

void AddressWatcher::report(const Addresses& previous)
{
    if (m_current == previous)
        return;
    // An address seen for the first time is learned, not changed.
    const bool publicChanged =
        !previous.publicIp.isEmpty() && previous.publicIp != m_current.publicIp;
    const bool localChanged = !previous.localIp.isEmpty() && previous.localIp != m_current.localIp;
    // The change first: its history line should not wait for the addresses to
    // be kept, and a service that ends in between reports it again at the next
    // start rather than never.
    if (publicChanged || localChanged)
        emit changed(previous, m_current);
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
}
