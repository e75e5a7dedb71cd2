#pragma once

#include "helpers/PushJob.h"
#include "send_push/WebRequest.h"

// Sends the job's title and message to its Apprise URLs through the `apprise`
// command; when it is not installed, says so and how to install it.
PushResult sendThroughApprise(const PushJob& job);
