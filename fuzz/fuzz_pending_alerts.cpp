// The pending alerts file.
#include "FuzzTarget.h"
#include "service/alerts/PendingAlerts.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::optional<PendingAlerts::Change> change =
        PendingAlerts::parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (change && (change->alerts.isEmpty() || !change->when.isValid()))
        std::abort();
    return 0;
}
