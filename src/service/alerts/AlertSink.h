#pragma once

#include "common/AlertSettings.h"
#include "service/addresses/Addresses.h"

// Where the alerts go when an address changes: the one place that hears of
// every recorded change, with the settings as they stand at that moment.
class AlertSink
{
public:
    virtual ~AlertSink() = default;
    virtual void addressChanged(const Addresses& previous, const Addresses& current,
                                const AlertSettings& settings) = 0;
};
