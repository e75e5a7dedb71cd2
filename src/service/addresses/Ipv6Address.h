#pragma once

// The address rules the service shares with the echo helper.
#include "common/Ipv6Address.h"
