#pragma once

#include <QList>
#include <chrono>
#include <optional>

// What follows a failed attempt at an alert.
struct NextWait
{
    enum Action
    {
        Retry,          // after `delay`
        HoldForNetwork, // until the network is back, or `delay` (none: no limit)
        GiveUp,
    };
    Action action;
    std::optional<std::chrono::milliseconds> delay;
};

// retryDelays are the waits before the second, third... attempt, of which
// retriesUsed have been waited. networkDown: the alert needs the network and
// the last public check failed; the wait then uses up no retry and is cut
// short when the network comes back (the longest delay bounds it, in case only
// the echo services are out of reach).
NextWait nextWait(const QList<std::chrono::milliseconds>& retryDelays, qsizetype retriesUsed,
                  bool networkDown);
