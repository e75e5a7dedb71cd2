#pragma once

#include "helpers/PushJob.h"

#include <QString>

// How a push attempt ended: delivered or not, and what to tell (never a secret
// of the job).
struct PushResult
{
    bool delivered = false;
    QString text;
};

// Sends the job's web request on libcurl: only http and https, redirects to
// those at most 5 times, the job's time limit for the whole exchange, TLS
// verified with the system's certificates and the job's extra one, the
// server's answer read up to 64 kB. A 2xx status is a delivery.
PushResult sendWebRequest(const PushJob& job);
