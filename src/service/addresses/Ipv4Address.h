#pragma once

// The address rules the service shares with the echo helper.
#include "common/Ipv4Address.h"
