#pragma once

#include "service/ServiceOptions.h"

// The running service: every part built and connected, then the event loop.
class ServiceApp
{
public:
    explicit ServiceApp(ServiceOptions options);

    // Runs until SIGTERM or SIGINT; returns the exit code. Throws ServiceError
    // (or AlreadyRunningError) when it cannot start.
    int run();

private:
    ServiceOptions m_options;
};

// Creates the config folder (mode 0700) when it is missing. Throws ServiceError.
void ensureConfigDir(const QString& path);
