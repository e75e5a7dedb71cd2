#pragma once

#include "service/AlertSink.h"

// Reports each change on stderr; the alerts themselves (e-mail, text message,
// program, web page) are not sent from here.
class LoggingAlertSink : public AlertSink
{
public:
    void addressChanged(const Addresses& previous, const Addresses& current,
                        const AlertSettings& settings) override;
};
