#pragma once

// The address rules the service shares with the echo helper.
#include "common/PublicIpv6Address.h"
