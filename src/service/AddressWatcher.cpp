#include "service/AddressWatcher.h"

#include "service/LocalAddressSource.h"
#include "service/PublicAddressSource.h"
#include "service/ServiceLog.h"

AddressWatcher::AddressWatcher(LocalAddressSource& local, PublicAddressSource& checker,
                               Timing timing, QObject* parent)
    : QObject(parent), m_local(local), m_checker(checker), m_timing(timing)
{
    m_interval.setSingleShot(true);
    m_interval.setInterval(m_timing.echoInterval);
    connect(&m_interval, &QTimer::timeout, this, &AddressWatcher::startCheck);
    m_gap.setSingleShot(true);
    connect(&m_gap, &QTimer::timeout, this, &AddressWatcher::startCheck);
    connect(&m_local, &LocalAddressSource::mayHaveChanged, this,
            &AddressWatcher::onLocalMayHaveChanged);
    connect(&m_checker, &PublicAddressSource::found, this, &AddressWatcher::onPublicFound);
    connect(&m_checker, &PublicAddressSource::failed, this, &AddressWatcher::onPublicFailed);
}

void AddressWatcher::start()
{
    m_current.localIp = m_local.currentAddress();
    startCheck();
}

void AddressWatcher::onLocalMayHaveChanged()
{
    const QString address = m_local.currentAddress();
    if (address.isEmpty() || address == m_current.localIp)
        return;
    const Addresses previous = m_current;
    m_current.localIp = address;
    if (!previous.localIp.isEmpty())
        emit changed(previous, m_current);
    // A new local network often means a new public address too.
    requestCheck();
}

void AddressWatcher::onPublicFound(const QString& address)
{
    if (address != m_current.publicIp) {
        const Addresses previous = m_current;
        m_current.publicIp = address;
        if (!previous.publicIp.isEmpty())
            emit changed(previous, m_current);
    }
    emit publicCheckFinished(true);
    afterCheck();
}

void AddressWatcher::onPublicFailed(const QString& reason)
{
    logLine(QStringLiteral("the public address could not be checked; keeping %1: %2")
                .arg(m_current.publicIp.isEmpty() ? QStringLiteral("none") : m_current.publicIp,
                     reason));
    emit publicCheckFinished(false);
    afterCheck();
}

void AddressWatcher::afterCheck()
{
    m_interval.start();
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
    m_checker.start();
}
