#include "service/alerts/NextWait.h"

NextWait nextWait(const QList<std::chrono::milliseconds>& retryDelays, qsizetype retriesUsed,
                  bool networkDown)
{
    if (networkDown) {
        return {NextWait::HoldForNetwork,
                retryDelays.isEmpty() ? std::nullopt : std::optional(retryDelays.last())};
    }
    if (retriesUsed >= retryDelays.size())
        return {NextWait::GiveUp, std::nullopt};
    return {NextWait::Retry, retryDelays.at(retriesUsed)};
}
