#include "service/addresses/WakeDetector.h"

#include "service/base/ServiceLog.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

std::chrono::nanoseconds read(clockid_t clock)
{
    timespec now = {};
    ::clock_gettime(clock, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

WakeDetector::ClockPair WakeDetector::systemClocks()
{
    return {read(CLOCK_MONOTONIC), read(CLOCK_BOOTTIME)};
}

WakeDetector::WakeDetector(QObject* parent) : WakeDetector(&WakeDetector::systemClocks, parent)
{
    m_timer = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timer >= 0 && armResumeNotice()) {
        m_notifier = new QSocketNotifier(m_timer, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &WakeDetector::onResumeNotice);
        return;
    }
    logLine(LogLevel::Notice,
            QStringLiteral("the kernel's notice of a wake-up cannot be had (%1); looking for "
                           "one every %2 s instead")
                .arg(QString::fromLocal8Bit(std::strerror(errno)))
                .arg(FallbackLook.count()));
    if (m_timer >= 0)
        ::close(m_timer);
    m_timer = -1;
    m_fallback.setInterval(FallbackLook);
    connect(&m_fallback, &QTimer::timeout, this, &WakeDetector::look);
    m_fallback.start();
}

WakeDetector::WakeDetector(Clocks clocks, QObject* parent)
    : QObject(parent), m_clocks(std::move(clocks))
{
    const ClockPair now = m_clocks();
    m_lastGap = now.boottime - now.monotonic;
}

WakeDetector::~WakeDetector()
{
    if (m_timer >= 0)
        ::close(m_timer);
}

bool WakeDetector::armResumeNotice()
{
    // Armed for a time that never comes: only a resume or a set clock ends it.
    itimerspec never = {};
    never.it_value.tv_sec = std::numeric_limits<time_t>::max() / 2;
    return ::timerfd_settime(m_timer, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &never,
                             nullptr) == 0;
}

void WakeDetector::onResumeNotice()
{
    quint64 expirations = 0;
    // ECANCELED says the clock was set or the computer resumed; the timer is
    // armed again either way.
    [[maybe_unused]] const ssize_t got = ::read(m_timer, &expirations, sizeof expirations);
    if (!armResumeNotice()) {
        logLine(LogLevel::Warning,
                QStringLiteral("the notice of a wake-up cannot be armed again (%1)")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
        m_notifier->setEnabled(false);
        m_fallback.setInterval(FallbackLook);
        connect(&m_fallback, &QTimer::timeout, this, &WakeDetector::look);
        m_fallback.start();
    }
    look();
}

void WakeDetector::look()
{
    const ClockPair now = m_clocks();
    const std::chrono::nanoseconds gap = now.boottime - now.monotonic;
    const std::chrono::nanoseconds grown = gap - m_lastGap;
    m_lastGap = gap;
    if (grown >= ShortestSleep)
        emit woke(std::chrono::duration_cast<std::chrono::milliseconds>(grown));
}
