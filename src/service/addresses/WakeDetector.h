#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

class QSocketNotifier;

// Says when the computer has woken from sleep, without D-Bus. Time spent
// suspended counts in CLOCK_BOOTTIME but not in CLOCK_MONOTONIC, so the gap
// between the two grows by the time slept. The kernel tells a realtime timerfd
// armed with TFD_TIMER_CANCEL_ON_SET at every resume (as when the clock is
// set), so the gap is looked at right after the wake-up, and nothing runs
// while the computer is awake. Where such a timer cannot be had, the gap is
// looked at every FallbackLook.
class WakeDetector : public QObject
{
    Q_OBJECT
public:
    struct ClockPair
    {
        std::chrono::nanoseconds monotonic;
        std::chrono::nanoseconds boottime;
    };
    using Clocks = std::function<ClockPair()>;

    // A smaller growth of the gap is not a sleep (the clocks are read one
    // after the other).
    static constexpr std::chrono::milliseconds ShortestSleep{1000};
    static constexpr std::chrono::seconds FallbackLook{30};

    // The system's clocks and the kernel's resume notice.
    explicit WakeDetector(QObject* parent = nullptr);
    // Clocks of the caller's; only look() looks.
    explicit WakeDetector(Clocks clocks, QObject* parent = nullptr);
    ~WakeDetector() override;

    static ClockPair systemClocks();

    // Compares the gap with the one of the last look: woke() when it grew by
    // ShortestSleep or more.
    void look();
    // Whether the kernel's resume notice is followed (otherwise the fallback
    // timer looks).
    bool followsResume() const { return m_timer >= 0; }

signals:
    void woke(std::chrono::milliseconds slept);

private:
    bool armResumeNotice();
    void onResumeNotice();

    Clocks m_clocks;
    std::chrono::nanoseconds m_lastGap{0};
    int m_timer = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_fallback;
};
