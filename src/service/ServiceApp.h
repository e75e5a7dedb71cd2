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

// Creates the folder when it is missing, with every missing folder above it,
// each for the user alone (mode 0700). Throws SetupError naming `what`.
void ensurePrivateFolder(const QString& path, const QString& what);
